#pragma once
// The profile functions: Windows INI text read and written key by key. Section and key
// names compare without regard to case; a missing file, section or key gives the
// default; at most 1023 characters of a value are returned. The file is written in UTF-8;
// a stored value that is not valid UTF-8 (a file from another system) reads as
// Windows-1252. Every write is committed at once, through a new file beside the old one
// that is renamed over it, so the file is never torn.
#include <QString>

QString ReadProfileString(const QString& section, const QString& key, const QString& defaultValue,
                          const QString& fileName);

// Creates the file, section or key as needed and replaces an existing value; false when
// the file could not be written (the old file is then intact).
bool WriteProfileString(const QString& section, const QString& key, const QString& value,
                        const QString& fileName);
