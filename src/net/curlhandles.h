#pragma once

#include <curl/curl.h>

#include <memory>

namespace lv::curl {

struct EasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct MultiDeleter {
    void operator()(CURLM* h) const { curl_multi_cleanup(h); }
};
struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
struct CharDeleter {
    void operator()(char* p) const { curl_free(p); }
};

using Easy = std::unique_ptr<CURL, EasyDeleter>;
using Multi = std::unique_ptr<CURLM, MultiDeleter>;
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;
using String = std::unique_ptr<char, CharDeleter>;

// curl_global_init once per process, before the first handle.
void ensureGlobalInit();

} // namespace lv::curl
