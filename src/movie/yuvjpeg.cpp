#include "movie/yuvjpeg.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <functional>

#include <jpeglib.h>

namespace lv {

namespace {

// Studio range to full range: luma 16-235 and chroma 16-240 onto 0-255.
struct RangeTables {
    std::array<uint8_t, 256> luma{};
    std::array<uint8_t, 256> chroma{};
    std::array<uint8_t, 256> same{};
    RangeTables()
    {
        for (int v = 0; v < 256; ++v) {
            luma[size_t(v)] = uint8_t(std::clamp<long>(std::lround((v - 16) * 255.0 / 219.0), 0, 255));
            chroma[size_t(v)] = uint8_t(std::clamp<long>(std::lround((v - 128) * 255.0 / 224.0) + 128, 0, 255));
            same[size_t(v)] = uint8_t(v);
        }
    }
};

const RangeTables& rangeTables()
{
    static const RangeTables tables;
    return tables;
}

// MPEG-1's default intra matrix, which FFmpeg's Motion JPEG encoder scales.
constexpr std::array<unsigned int, 64> kIntraMatrix = {
    8,  16, 19, 22, 26, 27, 29, 34, 16, 16, 22, 24, 27, 29, 34, 37, 19, 22, 26, 27, 29, 34,
    34, 38, 22, 22, 26, 27, 29, 34, 37, 40, 22, 26, 27, 29, 32, 35, 40, 48, 26, 27, 29, 32,
    35, 40, 48, 58, 26, 27, 29, 34, 38, 46, 56, 69, 27, 29, 35, 38, 46, 56, 69, 83,
};

// Rows padded to whole blocks (the right edge repeated), as libjpeg's raw input wants them.
constexpr int kAlign = 16;
int padded(int n) { return (n + kAlign - 1) / kAlign * kAlign; }

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void onError(j_common_ptr info)
{
    auto* err = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, err->message);
    std::longjmp(err->jump, 1);
}

void quiet(j_common_ptr, int) {}

// One Huffman table as a JPEG stores it: codes per length 1-16, symbols by length.
struct HuffTable {
    std::array<UINT8, 17> bits{};
    std::array<UINT8, 256> values{};
};

// Builds a table from symbol frequencies the JPEG way (code lengths at most
// 16, no code of all ones); a symbol of frequency 0 gets no code.
HuffTable huffmanTable(const std::array<long, 256>& counts)
{
    std::array<long, 257> freq{};
    std::copy(counts.begin(), counts.end(), freq.begin());
    freq[256] = 1; // holds the all-ones code back
    std::array<int, 257> size{};
    std::array<int, 257> next{};
    next.fill(-1);
    for (;;) {
        // The two rarest trees join; among equals the later symbol first.
        int c1 = -1, c2 = -1;
        for (int i = 0; i < 257; ++i)
            if (freq[size_t(i)] && (c1 < 0 || freq[size_t(i)] <= freq[size_t(c1)]))
                c1 = i;
        for (int i = 0; i < 257; ++i)
            if (freq[size_t(i)] && i != c1 && (c2 < 0 || freq[size_t(i)] <= freq[size_t(c2)]))
                c2 = i;
        if (c2 < 0)
            break;
        freq[size_t(c1)] += freq[size_t(c2)];
        freq[size_t(c2)] = 0;
        for (int k = c1;; k = next[size_t(k)]) {
            ++size[size_t(k)];
            if (next[size_t(k)] < 0) {
                next[size_t(k)] = c2;
                break;
            }
        }
        for (int k = c2; k >= 0; k = next[size_t(k)])
            ++size[size_t(k)];
    }
    std::array<int, 258> bits{};
    for (int i = 0; i < 257; ++i)
        if (size[size_t(i)])
            ++bits[size_t(std::min(size[size_t(i)], 257))];
    // Codes longer than 16 bits move up, a pair at a time, beside a shorter code split in two.
    for (int i = 257; i > 16; --i)
        while (bits[size_t(i)] > 0) {
            int j = i - 2;
            while (bits[size_t(j)] == 0)
                --j;
            bits[size_t(i)] -= 2;
            ++bits[size_t(i - 1)];
            bits[size_t(j + 1)] += 2;
            --bits[size_t(j)];
        }
    int longest = 16;
    while (bits[size_t(longest)] == 0)
        --longest;
    --bits[size_t(longest)]; // the held-back code
    HuffTable t;
    for (int i = 1; i <= 16; ++i)
        t.bits[size_t(i)] = UINT8(bits[size_t(i)]);
    // Symbols in the order of their code lengths before the limit; the
    // lengths themselves come from bits.
    size_t out = 0;
    for (int len = 1; len <= 257; ++len)
        for (int sym = 0; sym < 256; ++sym)
            if (size[size_t(sym)] == len)
                t.values[out++] = UINT8(sym);
    return t;
}

// A picture's optimal table made complete: the symbols it used keep about
// their code lengths, every other symbol the coder may meet gets a long
// code, so the table serves the next pictures in one pass.
HuffTable completeTable(const JHUFF_TBL& used, bool dc)
{
    std::array<long, 256> freq{};
    if (dc)
        for (int s = 0; s <= 11; ++s) // difference sizes of 8-bit samples
            freq[size_t(s)] = 1;
    else {
        for (int run = 0; run < 16; ++run)
            for (int bits = 1; bits <= 10; ++bits) // coefficient sizes of 8-bit samples
                freq[size_t(run << 4 | bits)] = 1;
        freq[0x00] = freq[0xf0] = 1; // end of block, sixteen zeros
    }
    size_t k = 0;
    for (int len = 1; len <= 16; ++len)
        for (int n = 0; n < used.bits[len]; ++n, ++k)
            freq[used.huffval[k]] = 1L << (24 - len); // as often as its code length says
    return huffmanTable(freq);
}

void install(JHUFF_TBL* target, const HuffTable& t)
{
    std::copy(t.bits.begin(), t.bits.end(), target->bits);
    std::copy(t.values.begin(), t.values.end(), target->huffval);
    target->sent_table = FALSE;
}

} // namespace

struct JpegFrameEncoder::State {
    jpeg_compress_struct info{};
    ErrorManager err{};
    bool made = false;
    unsigned char* out = nullptr; // reused from frame to frame
    unsigned long capacity = 0;
    unsigned char* before = nullptr;
    unsigned long outSize = 0;

    // Huffman tables kept from an optimised picture for the pictures after
    // it: one pass each instead of two, and no coefficient buffer of a whole picture.
    struct Kept {
        std::array<HuffTable, 2> dc, ac;
        int width = 0, height = 0, lumaRows = 0, qscale = 0;
        int uses = 0;              // pictures compressed with them
        unsigned long madeOn = 0;  // the size of the picture they were made on
    };
    Kept kept;
    bool haveTables = false;

    // Remade every second or so, and at once when a picture's size strays
    // far from the one they came from (a new scene).
    static constexpr int kTableUses = 30;
    bool tablesFit(int w, int h, int lumaRows, int qscale) const
    {
        return haveTables && kept.width == w && kept.height == h && kept.lumaRows == lumaRows
               && kept.qscale == qscale && kept.uses < kTableUses;
    }
    // Called after jpeg_set_defaults: one pass with the kept tables, or an
    // optimised picture that leaves new ones.
    void chooseTables(bool reuse)
    {
        info.optimize_coding = reuse ? FALSE : TRUE;
        if (!reuse)
            return;
        for (int i = 0; i < 2; ++i) {
            if (!info.dc_huff_tbl_ptrs[i])
                info.dc_huff_tbl_ptrs[i] = jpeg_alloc_huff_table(reinterpret_cast<j_common_ptr>(&info));
            if (!info.ac_huff_tbl_ptrs[i])
                info.ac_huff_tbl_ptrs[i] = jpeg_alloc_huff_table(reinterpret_cast<j_common_ptr>(&info));
            install(info.dc_huff_tbl_ptrs[i], kept.dc[size_t(i)]);
            install(info.ac_huff_tbl_ptrs[i], kept.ac[size_t(i)]);
        }
    }
    // After jpeg_finish_compress: keeps the optimised picture's tables, or
    // counts a use. A picture far smaller than its tables' one ends them;
    // one far larger (a new scene) ends them and is to be compressed again
    // with tables of its own (again = true), so a scene change costs no bytes.
    bool again = false;
    void afterPicture(bool reused, int w, int h, int lumaRows, int qscale)
    {
        again = false;
        if (reused) {
            ++kept.uses;
            if (outSize > kept.madeOn + kept.madeOn / 4)
                again = true;
            if (again || outSize < kept.madeOn - kept.madeOn / 4)
                haveTables = false;
            return;
        }
        for (int i = 0; i < 2; ++i) {
            if (!info.dc_huff_tbl_ptrs[i] || !info.ac_huff_tbl_ptrs[i]) {
                haveTables = false;
                return;
            }
            kept.dc[size_t(i)] = completeTable(*info.dc_huff_tbl_ptrs[i], true);
            kept.ac[size_t(i)] = completeTable(*info.ac_huff_tbl_ptrs[i], false);
        }
        kept.width = w;
        kept.height = h;
        kept.lumaRows = lumaRows;
        kept.qscale = qscale;
        kept.uses = 0;
        kept.madeOn = outSize;
        haveTables = true;
    }

    // libjpeg writes into `out` while it is large enough, else into a buffer
    // of its own, which it hands over at the end: the old one is then ours to
    // free. `out` is kept twice the last picture's size, so libjpeg need not
    // grow it (a copy each time it doubles) picture after picture.
    unsigned long last = 0;
    void startOutput()
    {
        const unsigned long wanted = std::max(2 * last, 65536ul);
        if (capacity < wanted) {
            std::free(out);
            out = static_cast<unsigned char*>(std::malloc(wanted));
            capacity = out ? wanted : 0;
        }
        before = out;
        outSize = capacity;
        jpeg_mem_dest(&info, &out, &outSize);
    }
    void endOutput()
    {
        if (out != before) {
            std::free(before);
            capacity = outSize; // at least; what libjpeg allocated is not told
        }
        last = outSize;
    }

    // Runs one compression; libjpeg's errors jump back here and end it.
    // Nothing with a destructor lives between the jump and its landing.
    bool run(const std::function<void()>& body)
    {
        err = {};
        info.err = jpeg_std_error(&err.base);
        err.base.error_exit = onError;
        err.base.emit_message = quiet;
        if (!made) {
            jpeg_create_compress(&info);
            made = true;
        }
        if (setjmp(err.jump)) {
            jpeg_abort_compress(&info);
            haveTables = false;
            return false;
        }
        body();
        return true;
    }

    ~State()
    {
        if (made)
            jpeg_destroy_compress(&info);
        std::free(out);
    }
};

int YuvView::lumaStride() const
{
    if (stride > 0)
        return stride;
    return layout == Layout::YUYV ? size.width() * 2 : size.width();
}

size_t YuvView::neededBytes() const
{
    const size_t h = size_t(std::max(0, size.height()));
    const size_t s = size_t(lumaStride());
    switch (layout) {
    case Layout::YUYV: return s * h;
    case Layout::NV12: return s * h + s * ((h + 1) / 2);
    case Layout::I420: return s * h + 2 * ((s + 1) / 2) * ((h + 1) / 2);
    }
    return 0;
}

bool YuvView::isValid() const
{
    if (!data || size.width() < 1 || size.height() < 1)
        return false;
    // Packed 4:2:2 pairs its pixels: an odd width is no YUYV picture.
    if (layout == Layout::YUYV && size.width() % 2)
        return false;
    const int minStride = layout == Layout::YUYV ? 2 * size.width() : size.width();
    return lumaStride() >= minStride && bytes >= neededBytes();
}

JpegFrameEncoder::JpegFrameEncoder() = default;
JpegFrameEncoder::~JpegFrameEncoder() = default;

void JpegFrameEncoder::quantTable(int qscale, unsigned int table[64])
{
    const unsigned int q = unsigned(std::clamp(qscale, 1, 31));
    for (size_t i = 1; i < 64; ++i)
        table[i] = std::clamp((kIntraMatrix[i] * q) >> 3, 1u, 255u);
    table[0] = 8; // the DC step does not follow the quantiser
}

namespace {

// The parameters of one compression; the caller has set up the error jump.
void setUp(jpeg_compress_struct* info, int w, int h, J_COLOR_SPACE space, int components, int qscale, bool raw,
           int lumaRows)
{
    info->image_width = JDIMENSION(w);
    info->image_height = JDIMENSION(h);
    info->input_components = components;
    info->in_color_space = space;
    jpeg_set_defaults(info);
    jpeg_set_colorspace(info, JCS_YCbCr);
    unsigned int table[64];
    JpegFrameEncoder::quantTable(qscale, table);
    jpeg_add_quant_table(info, 0, table, 100, TRUE);
    for (int c = 0; c < 3; ++c)
        info->comp_info[c].quant_tbl_no = 0;
    info->comp_info[0].h_samp_factor = 2;
    info->comp_info[0].v_samp_factor = lumaRows;
    info->comp_info[1].h_samp_factor = info->comp_info[1].v_samp_factor = 1;
    info->comp_info[2].h_samp_factor = info->comp_info[2].v_samp_factor = 1;
    info->raw_data_in = raw ? TRUE : FALSE;
    info->dct_method = JDCT_ISLOW;
    // Huffman tables made for the picture, as FFmpeg's encoder makes them:
    // the files stay the size they always were (plain tables cost 50 to 70 %
    // more on flat pictures). Later pictures may reuse them (chooseTables).
    info->optimize_coding = TRUE;
    info->write_JFIF_header = TRUE;
}

} // namespace

namespace {

// The picture's planes into padded full-range planes (rows of padded(width)).
void copyPlanes(const YuvView& pic, uint8_t* y, uint8_t* u, uint8_t* v)
{
    const int w = pic.size.width(), h = pic.size.height();
    const bool yuyv = pic.layout == YuvView::Layout::YUYV;
    const int cw = (w + 1) / 2, ch = yuyv ? h : (h + 1) / 2;
    const int pw = padded(w), pcw = pw / 2;
    const int stride = pic.lumaStride();
    const RangeTables& t = rangeTables();
    const uint8_t* lt = pic.fullRange ? t.same.data() : t.luma.data();
    const uint8_t* ct = pic.fullRange ? t.same.data() : t.chroma.data();
    const auto padRow = [](uint8_t* row, int from, int to) {
        std::memset(row + from, row[from - 1], size_t(to - from));
    };
    switch (pic.layout) {
    case YuvView::Layout::I420:
    case YuvView::Layout::NV12: {
        const bool nv12 = pic.layout == YuvView::Layout::NV12;
        for (int r = 0; r < h; ++r) {
            const uint8_t* in = pic.data + size_t(r) * size_t(stride);
            uint8_t* o = y + size_t(r) * size_t(pw);
            if (pic.fullRange)
                std::memcpy(o, in, size_t(w));
            else
                for (int i = 0; i < w; ++i)
                    o[i] = lt[in[i]];
            padRow(o, w, pw);
        }
        const uint8_t* chroma = pic.data + size_t(stride) * size_t(h);
        const int cs = nv12 ? stride : (stride + 1) / 2;
        for (int r = 0; r < ch; ++r) {
            uint8_t* ou = u + size_t(r) * size_t(pcw);
            uint8_t* ov = v + size_t(r) * size_t(pcw);
            if (nv12) {
                const uint8_t* in = chroma + size_t(r) * size_t(cs);
                for (int i = 0; i < cw; ++i) {
                    ou[i] = ct[in[2 * i]];
                    ov[i] = ct[in[2 * i + 1]];
                }
            } else {
                const uint8_t* inU = chroma + size_t(r) * size_t(cs);
                const uint8_t* inV = chroma + size_t(cs) * size_t(ch) + size_t(r) * size_t(cs);
                for (int i = 0; i < cw; ++i) {
                    ou[i] = ct[inU[i]];
                    ov[i] = ct[inV[i]];
                }
            }
            padRow(ou, cw, pcw);
            padRow(ov, cw, pcw);
        }
        break;
    }
    case YuvView::Layout::YUYV:
        for (int r = 0; r < h; ++r) {
            const uint8_t* in = pic.data + size_t(r) * size_t(stride);
            uint8_t* oy = y + size_t(r) * size_t(pw);
            uint8_t* ou = u + size_t(r) * size_t(pcw);
            uint8_t* ov = v + size_t(r) * size_t(pcw);
            for (int i = 0; i < cw; ++i) {
                oy[2 * i] = lt[in[4 * i]];
                ou[i] = ct[in[4 * i + 1]];
                oy[2 * i + 1] = lt[in[4 * i + 2]];
                ov[i] = ct[in[4 * i + 3]];
            }
            padRow(oy, w, pw);
            padRow(ou, cw, pcw);
            padRow(ov, cw, pcw);
        }
        break;
    }

}

} // namespace

bool JpegFrameEncoder::encode(const YuvView& pic, int qscale, const uint8_t** jpeg, size_t* size)
{
    if (!pic.isValid()) {
        m_error = QStringLiteral("A damaged picture");
        return false;
    }
    const int w = pic.size.width(), h = pic.size.height();
    const bool yuyv = pic.layout == YuvView::Layout::YUYV;
    const int vsamp = yuyv ? 1 : 2; // luma rows per chroma row
    const int ch = yuyv ? h : (h + 1) / 2;
    const int pw = padded(w), pcw = pw / 2;
    const int stride = pic.lumaStride();

    // The planes, padded and in full range: what the compressor reads.
    // Full-range I420 whose rows fill whole blocks is that already and is read where it lies.
    const bool inPlace = pic.layout == YuvView::Layout::I420 && pic.fullRange && w % kAlign == 0;
    const uint8_t* y = nullptr;
    const uint8_t* u = nullptr;
    const uint8_t* v = nullptr;
    size_t yStride = size_t(pw), cStride = size_t(pcw);
    if (inPlace) {
        yStride = size_t(stride);
        cStride = size_t(stride + 1) / 2;
        y = pic.data;
        u = y + yStride * size_t(h);
        v = u + cStride * size_t(ch);
    } else {
        m_planes.resize(size_t(pw) * size_t(h) + 2 * size_t(pcw) * size_t(ch));
        uint8_t* oy = m_planes.data();
        uint8_t* ou = oy + size_t(pw) * size_t(h);
        uint8_t* ov = ou + size_t(pcw) * size_t(ch);
        copyPlanes(pic, oy, ou, ov);
        y = oy;
        u = ou;
        v = ov;
    }
    if (!d)
        d = std::make_unique<State>();
    State& s = *d;
    // Rows past the bottom repeat the last one.
    const int group = 8 * vsamp;
    std::array<JSAMPROW, 16> rowsY{};
    std::array<JSAMPROW, 8> rowsU{}, rowsV{};
    JSAMPARRAY planes[3] = {rowsY.data(), rowsU.data(), rowsV.data()};
    bool reuse = s.tablesFit(w, h, vsamp, qscale);
    const auto compress = [&] {
        return s.run([&] {
            setUp(&s.info, w, h, JCS_YCbCr, 3, qscale, true, vsamp);
            s.chooseTables(reuse);
            s.startOutput();
            jpeg_start_compress(&s.info, TRUE);
            for (int top = 0; top < h; top += group) {
                for (int k = 0; k < group; ++k)
                    rowsY[size_t(k)] = const_cast<JSAMPROW>(y + size_t(std::min(top + k, h - 1)) * yStride);
                for (int k = 0; k < 8; ++k) {
                    const int cr = std::min(top / vsamp + k, ch - 1);
                    rowsU[size_t(k)] = const_cast<JSAMPROW>(u + size_t(cr) * cStride);
                    rowsV[size_t(k)] = const_cast<JSAMPROW>(v + size_t(cr) * cStride);
                }
                jpeg_write_raw_data(&s.info, planes, JDIMENSION(group));
            }
            jpeg_finish_compress(&s.info);
            s.endOutput();
            s.afterPicture(reuse, w, h, vsamp, qscale);
        });
    };
    bool ok = compress();
    if (ok && s.again) {
        reuse = false;
        ok = compress();
    }
    if (!ok) {
        m_error = QString::fromLocal8Bit(s.err.message);
        return false;
    }
    *jpeg = s.out;
    *size = size_t(s.outSize);
    return true;
}

bool JpegFrameEncoder::encode(const QImage& source, int qscale, const uint8_t** jpeg, size_t* size)
{
    if (source.isNull()) {
        m_error = QStringLiteral("Empty picture");
        return false;
    }
    QImage converted;
    const QImage* pic = &source;
    J_COLOR_SPACE space = JCS_EXT_RGB;
    int components = 3;
    switch (source.format()) {
    case QImage::Format_RGB888: break;
    case QImage::Format_BGR888: space = JCS_EXT_BGR; break;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32: space = JCS_EXT_BGRX; components = 4; break; // 0xAARRGGBB, little-endian
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888: space = JCS_EXT_RGBX; components = 4; break;
    default:
        converted = source.convertToFormat(QImage::Format_RGB888);
        pic = &converted;
        break;
    }
    if (!d)
        d = std::make_unique<State>();
    State& s = *d;
    // RGB pictures are 4:2:0 like I420 ones; the sizes keep their tables apart.
    bool reuse = s.tablesFit(pic->width(), pic->height(), 2, qscale);
    const auto compress = [&] {
        return s.run([&] {
            setUp(&s.info, pic->width(), pic->height(), space, components, qscale, false, 2);
            s.chooseTables(reuse);
            s.startOutput();
            jpeg_start_compress(&s.info, TRUE);
            while (s.info.next_scanline < s.info.image_height) {
                JSAMPROW row = const_cast<JSAMPROW>(pic->constScanLine(int(s.info.next_scanline)));
                jpeg_write_scanlines(&s.info, &row, 1);
            }
            jpeg_finish_compress(&s.info);
            s.endOutput();
            s.afterPicture(reuse, pic->width(), pic->height(), 2, qscale);
        });
    };
    bool ok = compress();
    if (ok && s.again) {
        reuse = false;
        ok = compress();
    }
    if (!ok) {
        m_error = QString::fromLocal8Bit(s.err.message);
        return false;
    }
    *jpeg = s.out;
    *size = size_t(s.outSize);
    return true;
}

} // namespace lv
