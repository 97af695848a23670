#include "settings/parameterreader.h"

#include <QFile>
#include <QIODevice>
#include <algorithm>
#include <array>
#include <cstring>

namespace lv {

namespace {

constexpr qint64 kChunkBytes = 64 * 1024;

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDelimiter(char c) { return c == ',' || c == '\r' || c == '\n'; }

// Upper case of every Latin-1 character, one character for one (no "SS").
const std::array<char16_t, 256>& upperTable()
{
    static const std::array<char16_t, 256> table = [] {
        std::array<char16_t, 256> t{};
        for (int i = 0; i < 256; ++i)
            t[static_cast<size_t>(i)] = QChar(static_cast<char16_t>(i)).toUpper().unicode();
        return t;
    }();
    return table;
}

std::u16string upperKey(const QString& key)
{
    std::u16string out;
    out.reserve(static_cast<size_t>(key.size()));
    for (QChar c : key)
        out.push_back(c.toUpper().unicode());
    return out;
}

// True when the field has "=" right after its first key.size() bytes and those
// bytes equal the key without regard to case. An earlier "=" cannot match: the
// text before it is shorter than the key.
bool fieldMatches(const QByteArray& field, const std::u16string& key)
{
    const auto n = static_cast<qsizetype>(key.size());
    if (field.size() <= n || field.at(n) != '=')
        return false;
    const auto& upper = upperTable();
    for (qsizetype i = 0; i < n; ++i) {
        if (upper[static_cast<unsigned char>(field.at(i))] != key[static_cast<size_t>(i)])
            return false;
    }
    return true;
}

QByteArray valueOf(const QByteArray& field, qsizetype keyLength)
{
    return field.mid(keyLength + 1);
}

// Follows UTF-8 byte by byte, so a file can be checked in chunks.
class Utf8Check {
public:
    void feed(const QByteArray& bytes)
    {
        for (char ch : bytes) {
            const auto c = static_cast<unsigned char>(ch);
            if (m_bad)
                return;
            if (m_need == 0) {
                if (c < 0x80)
                    continue;
                m_wide = true;
                if (c >= 0xC2 && c <= 0xDF) {
                    m_need = 1;
                    m_low = 0x80, m_high = 0xBF;
                } else if (c >= 0xE0 && c <= 0xEF) {
                    m_need = 2;
                    // No overlong forms, no surrogates.
                    m_low = c == 0xE0 ? 0xA0 : 0x80;
                    m_high = c == 0xED ? 0x9F : 0xBF;
                } else if (c >= 0xF0 && c <= 0xF4) {
                    m_need = 3;
                    m_low = c == 0xF0 ? 0x90 : 0x80;
                    m_high = c == 0xF4 ? 0x8F : 0xBF;
                } else {
                    m_bad = true;
                }
            } else {
                if (c < m_low || c > m_high) {
                    m_bad = true;
                    return;
                }
                m_low = 0x80, m_high = 0xBF;
                --m_need;
            }
        }
    }
    bool bad() const { return m_bad; }
    // Valid to the end (no sequence left open) with a byte past ASCII.
    bool utf8() const { return !m_bad && m_need == 0 && m_wide; }

private:
    int m_need = 0;
    unsigned char m_low = 0x80;
    unsigned char m_high = 0xBF;
    bool m_wide = false;
    bool m_bad = false;
};

} // namespace

bool isUtf8Text(QIODevice& device)
{
    if (device.isSequential())
        return false;
    const qint64 start = device.pos();
    Utf8Check check;
    while (!check.bad()) {
        const QByteArray chunk = device.read(kChunkBytes);
        if (chunk.isEmpty())
            break;
        check.feed(chunk);
    }
    device.seek(start);
    return check.utf8();
}

QString parameterText(const QByteArray& bytes, bool utf8)
{
    return utf8 ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes);
}

namespace detail {

bool FieldReader::fill()
{
    if (m_end)
        return false;
    if (m_pos < m_buffer.size())
        return true;
    m_buffer = m_device.read(kChunkBytes);
    m_pos = 0;
    if (m_buffer.isEmpty()) {
        m_end = true;
        return false;
    }
    return true;
}

int FieldReader::get()
{
    if (!fill())
        return -1;
    return static_cast<unsigned char>(m_buffer.at(m_pos++));
}

std::optional<QByteArray> FieldReader::next()
{
    QByteArray field;
    auto append = [&field](const char* data, qsizetype n) {
        const qsizetype room = kMaxFieldBytes - field.size();
        if (room > 0)
            field.append(data, std::min(room, n));
    };

    for (;;) {
        int c = get();
        while (c != -1 && isBlank(static_cast<char>(c)))
            c = get();
        if (c == -1)
            return std::nullopt;
        if (isDelimiter(static_cast<char>(c)))
            continue; // empty field

        if (c == '"') {
            // Quoted: everything up to the closing quote, delimiters included.
            bool closed = false;
            while (!closed && fill()) {
                const char* data = m_buffer.constData() + m_pos;
                const qsizetype avail = m_buffer.size() - m_pos;
                const void* q = memchr(data, '"', static_cast<size_t>(avail));
                const qsizetype n = q ? static_cast<const char*>(q) - data : avail;
                append(data, n);
                m_pos += n;
                if (q) {
                    ++m_pos;
                    closed = true;
                }
            }
            // The rest up to the end of the field is not part of it.
            int d = get();
            while (d != -1 && !isDelimiter(static_cast<char>(d)))
                d = get();
        } else {
            field.append(static_cast<char>(c));
            bool ended = false;
            while (!ended && fill()) {
                const char* data = m_buffer.constData() + m_pos;
                const qsizetype avail = m_buffer.size() - m_pos;
                qsizetype n = 0;
                while (n < avail && !isDelimiter(data[n]))
                    ++n;
                append(data, n);
                m_pos += n;
                if (n < avail) {
                    ++m_pos; // the delimiter
                    ended = true;
                }
            }
        }
        if (!field.isEmpty())
            return field;
    }
}

} // namespace detail

QString GetParameter(QIODevice& device, const QString& key, const QString& def)
{
    const std::u16string upper = upperKey(key);
    const bool utf8 = isUtf8Text(device);
    std::optional<QString> result;
    forEachParameterField(device, [&](const QByteArray& field) {
        if (!fieldMatches(field, upper))
            return true;
        result = parameterText(valueOf(field, static_cast<qsizetype>(upper.size())), utf8);
        return false;
    });
    return result.value_or(def);
}

QString GetParameter(const QString& path, const QString& key, const QString& def)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return def;
    return GetParameter(file, key, def);
}

ParameterLookup::ParameterLookup(const QStringList& keys)
{
    m_entries.reserve(static_cast<size_t>(keys.size()));
    for (const QString& k : keys) {
        m_entries.push_back(Entry{upperKey(k), k, std::nullopt});
        m_longestKey = std::max(m_longestKey, static_cast<qsizetype>(m_entries.back().upperKey.size()));
    }
    m_open = static_cast<qsizetype>(m_entries.size());
}

void ParameterLookup::takeField(const QByteArray& field)
{
    // Only an "=" within the first m_longestKey + 1 bytes can end a key.
    const qsizetype head = std::min(field.size(), m_longestKey + 1);
    if (!memchr(field.constData(), '=', static_cast<size_t>(head)))
        return;
    for (Entry& e : m_entries) {
        if (e.value)
            continue;
        if (fieldMatches(field, e.upperKey)) {
            e.value = valueOf(field, static_cast<qsizetype>(e.upperKey.size()));
            --m_open;
        }
    }
}

void ParameterLookup::load(QIODevice& device)
{
    m_utf8 = isUtf8Text(device);
    forEachParameterField(device, [this](const QByteArray& field) {
        takeField(field);
        return m_open > 0;
    });
}

void ParameterLookup::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    load(file);
}

QString ParameterLookup::value(const QString& key, const QString& def) const
{
    for (const Entry& e : m_entries) {
        if (e.key == key)
            return e.value ? parameterText(*e.value, m_utf8) : def;
    }
    return def;
}

} // namespace lv
