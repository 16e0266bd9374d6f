#pragma once
// The profile functions: Windows INI text read and written key by key. Section and key
// names compare without regard to case; a missing file, section or key gives the
// default; at most 1023 characters of a value are returned. The file is written in UTF-8;
// a stored value that is not valid UTF-8 (a file from another system) reads as
// Windows-1252. Every write is committed at once, through a new file that takes the old
// one's name when complete, so the file is never torn.
//
// Only a regular file of at most kMaxProfileFileSize bytes is read: anything else (a FIFO, a
// device, a larger file) reads as defaults and refuses writes, so that it is left as it is.
#include <QString>

#include <memory>

namespace varimark {

constexpr qsizetype kMaxProfileFileSize = 1024 * 1024;

// The settings file read once, for many look-ups: the start-up's reads and the reload at a
// type change. A look-up answers from the file as it was when the reader was made.
class ProfileReader {
public:
    explicit ProfileReader(const QString& fileName);

    QString Read(const QString& section, const QString& key, const QString& defaultValue) const;
    // The file is there but could not be read: not a regular file, too large, or unreadable.
    bool Refused() const { return refused_; }

    struct Parsed;

private:
    std::shared_ptr<const Parsed> parsed_;
    bool refused_ = false;
};

// Copies the settings file `from` to `to` unless `to` exists already (checked while no other
// writer of `to` runs); false when nothing was copied.
bool CopyProfileFileIfMissing(const QString& from, const QString& to);

QString ReadProfileString(const QString& section, const QString& key, const QString& defaultValue,
                          const QString& fileName);

// Creates the file, section or key as needed and replaces an existing value; false when
// the file could not be written (the old file is then intact). Writers of one file take
// turns (a lock on its folder), so that two programs writing at once lose no key.
bool WriteProfileString(const QString& section, const QString& key, const QString& value,
                        const QString& fileName);

} // namespace varimark
