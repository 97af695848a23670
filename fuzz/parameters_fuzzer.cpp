// Capture parameters file reading under libFuzzer: the streaming field reader
// and both lookups must agree with a plain reading of the whole buffer, and
// reading numbers from any value must stay in range.
#include "base/textnumber.h"
#include "settings/parameterreader.h"

#include <QBuffer>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace {

const char* const kKeys[] = {
    "View Mode", "Preview Rate", "Hours", "Minutes", "Seconds", "Filename", "Capture", "Audio",
    "Audio Channels", "Audio Bits", "Audio Rate", "AVI Info", "Frame Rate", "Limit", "Duration(Seconds)",
    "Text", "Insert Text", "Trigger", "Interval", "Port", "URL", "Password", "A", "A=B", ""};
constexpr int kKeyCount = int(sizeof(kKeys) / sizeof(kKeys[0]));

bool blank(char c) { return c == ' ' || c == '\t'; }
bool delimiter(char c) { return c == ',' || c == '\r' || c == '\n'; }

bool sameKey(const QByteArray& prefix, const QString& key)
{
    const QString p = QString::fromLatin1(prefix);
    if (p.size() != key.size())
        return false;
    for (qsizetype i = 0; i < p.size(); ++i) {
        if (p.at(i).toUpper() != key.at(i).toUpper())
            return false;
    }
    return true;
}

// The file's text encoding straight from its description: UTF-8 when the
// whole buffer is valid UTF-8 with a byte past ASCII, else Latin-1.
bool referenceUtf8(const QByteArray& data)
{
    const bool wide = std::any_of(data.cbegin(), data.cend(), [](char c) { return (unsigned char)c >= 0x80; });
    if (!wide)
        return false;
    return data.isValidUtf8();
}

// The lookup read straight from its description, on the whole buffer.
std::optional<QString> reference(const QByteArray& data, const QString& key)
{
    const bool utf8 = referenceUtf8(data);
    qsizetype i = 0;
    const qsizetype n = data.size();
    while (i < n) {
        while (i < n && blank(data[i]))
            ++i;
        if (i >= n)
            break;
        if (delimiter(data[i])) {
            ++i;
            continue;
        }
        QByteArray field;
        if (data[i] == '"') {
            ++i;
            while (i < n && data[i] != '"')
                field += data[i++];
            if (i < n)
                ++i;
            while (i < n && !delimiter(data[i]))
                ++i;
        } else {
            while (i < n && !delimiter(data[i]))
                field += data[i++];
        }
        if (i < n)
            ++i;
        for (qsizetype p = 0; p < field.size(); ++p) {
            if (field[p] == '=' && sameKey(field.left(p), key))
                return utf8 ? QString::fromUtf8(field.mid(p + 1)) : QString::fromLatin1(field.mid(p + 1));
        }
    }
    return std::nullopt;
}

void check(bool ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "fuzz_parameters: %s\n", what);
        abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    if (size == 0)
        return 0;
    // First byte: a known key, or a key of up to 15 bytes taken from the input.
    const uint8_t selector = bytes[0];
    QString key;
    size_t offset = 1;
    if (selector < 0xC0) {
        key = QLatin1String(kKeys[selector % kKeyCount]);
    } else {
        const size_t len = std::min<size_t>(selector & 0x0F, size - 1);
        key = QString::fromLatin1(reinterpret_cast<const char*>(bytes + 1), qsizetype(len));
        offset += len;
    }
    QByteArray data(reinterpret_cast<const char*>(bytes + offset), qsizetype(size - offset));
    // Selector 0xBF: the rest repeated past the 1 MiB field cut, which inputs
    // of libFuzzer's usual lengths never reach.
    if (selector == 0xBF && !data.isEmpty())
        data = data.repeated(lv::kMaxFieldBytes / data.size() + 2);
    const QString def = QStringLiteral("\x01" "default");

    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    const QString single = lv::GetParameter(buffer, key, def);

    QBuffer again;
    again.setData(data);
    again.open(QIODevice::ReadOnly);
    lv::ParameterLookup lookup({QStringLiteral("Text"), key, QStringLiteral("Port"), QStringLiteral("Filename")});
    lookup.load(again);
    check(lookup.value(key, def) == single, "one-pass lookup differs from GetParameter");

    if (data.size() < lv::kMaxFieldBytes)
        check(reference(data, key).value_or(def) == single, "GetParameter differs from the plain reading");

    // Numbers from the value, as every numeric key reads them.
    const double v = lv::leadingNumber(single);
    check(!std::isnan(v), "leading number is NaN");
    const int16_t i16 = lv::toInt16(v);
    const int32_t i32 = lv::toInt32(v);
    const uint32_t u32 = lv::toUInt32(v);
    if (std::isfinite(v) && std::fabs(v) < 30000.0) {
        check(std::fabs(double(i16) - v) <= 0.5, "16-bit rounding off by more than a half");
        check(i32 == i16, "16- and 32-bit readings differ for a small number");
    }
    check(v >= 0.0 || u32 == 0, "negative number gives a non-zero unsigned value");
    return 0;
}
