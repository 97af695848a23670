#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <vector>

class QIODevice;

namespace lv {

// Reading of capture parameters files: a stream of fields separated by commas
// and line ends; a field "key=value" answers the lookup of key.
//
// A field ends at a comma, CR or LF; blanks (space, tab) before it are skipped;
// a field that begins with a double quote runs to the next double quote (line
// ends and commas included), both quotes are dropped and whatever follows up to
// the next comma or line end is ignored. For a key, each "=" of a non-empty
// field is tried from left to right: when the text before it equals the key
// without regard to case, the rest of the field is the value. The first
// matching field in the file wins. Text is 8-bit: Latin-1, unless the whole
// file is valid UTF-8 with at least one byte past ASCII (a file written with
// characters Latin-1 has not), which is read as UTF-8.
//
// The file is read in chunks, so a huge or hostile file costs bounded memory:
// a field keeps at most kMaxFieldBytes bytes; anything beyond is dropped
// (values are cut there).
inline constexpr qsizetype kMaxFieldBytes = 1 << 20;

// The value of key in the file at path, or def when no field matches or the
// file cannot be opened for reading.
QString GetParameter(const QString& path, const QString& key, const QString& def);

// The same lookup on an open device, read from its current position.
QString GetParameter(QIODevice& device, const QString& key, const QString& def);

// Answers many keys from one pass over a file, with the same results as
// GetParameter for each key. The keys must be known before the file is read.
class ParameterLookup {
public:
    explicit ParameterLookup(const QStringList& keys);

    // Reads the file; a file that cannot be opened leaves every key unmatched.
    void load(const QString& path);
    void load(QIODevice& device);

    // The value of key (one of the keys given at construction), or def.
    QString value(const QString& key, const QString& def) const;

private:
    struct Entry {
        std::u16string upperKey;
        QString key;
        std::optional<QByteArray> value;
    };
    void takeField(const QByteArray& field);

    std::vector<Entry> m_entries;
    qsizetype m_longestKey = 0;
    qsizetype m_open = 0; // entries still without a value
    bool m_utf8 = false;
};

// True when the rest of the device is valid UTF-8 holding at least one byte
// past ASCII; the position is left where it was. A sequential device, which
// cannot be read twice, counts as Latin-1.
bool isUtf8Text(QIODevice& device);

// The bytes of a parameters file value as text, in the file's encoding.
QString parameterText(const QByteArray& bytes, bool utf8);

// Calls fn(field) for every non-empty field of the stream, in order; fn
// returns false to stop. Fields are cut at kMaxFieldBytes.
template <typename Fn>
void forEachParameterField(QIODevice& device, Fn&& fn);

namespace detail {
// Reads fields; the callback interface behind forEachParameterField.
class FieldReader {
public:
    explicit FieldReader(QIODevice& device) : m_device(device) {}
    // The next non-empty field, or nothing at the end of the stream.
    std::optional<QByteArray> next();

private:
    bool fill();
    int get(); // next byte, -1 at end
    QIODevice& m_device;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_end = false;
};
} // namespace detail

template <typename Fn>
void forEachParameterField(QIODevice& device, Fn&& fn)
{
    detail::FieldReader reader(device);
    while (auto field = reader.next()) {
        if (!fn(*field))
            return;
    }
}

} // namespace lv
