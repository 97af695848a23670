# The two commands of the README: `make run` and `make test`. Each installs the
# Debian packages of its purpose first (scripts/install-deps).
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: deps configure build run test test-sanitize install deb bench fuzz clean

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DLV_WERROR=ON >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

run: build
	$(BUILD)/src/app/lumivark

test: build
	@scripts/install-deps test
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)

# PREFIX is where the program will live; DESTDIR, when given, is prepended for staging.
PREFIX ?= /usr/local
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# The Debian packages lumivark and lumivark-cli, built by dpkg-buildpackage
# from debian/ and checked by lintian, into DEB_DIR (.deb, .changes, .buildinfo).
# scripts/check-deb then installs them into a clean root.
DEB_DIR ?= build-deb
deb: deps
	@scripts/install-deps deb
	scripts/build-deb $(DEB_DIR)

# The suite again under AddressSanitizer and UndefinedBehaviorSanitizer; any
# report fails the run. The build without widgets is proven once, by `make test`.
SANITIZE = -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer
test-sanitize: deps
	@scripts/install-deps test
	@cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLV_WERROR=ON \
		-DCMAKE_C_FLAGS="$(SANITIZE)" -DCMAKE_CXX_FLAGS="$(SANITIZE)" \
		-DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
	@cmake --build build-sanitize -j$(JOBS)
	cd build-sanitize && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
		LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizer/lsan.supp \
		UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j$(JOBS) -E core_without_widgets

bench: deps
	@scripts/install-deps bench
	@cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DLV_BENCH=ON >/dev/null
	@cmake --build build-bench -j$(JOBS)
	bench/run-all build-bench

# libFuzzer targets under AddressSanitizer; FUZZ_SECONDS per target.
FUZZ_SECONDS ?= 60
fuzz: deps
	@scripts/install-deps fuzz
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLV_FUZZ=ON >/dev/null
	@cmake --build build-fuzz -j$(JOBS) --target fuzz-all
	fuzz/run-all build-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) build-bench build-fuzz build-sanitize $(DEB_DIR)
