// Private-profile (INI) files with the semantics the workstation relies on:
// section and key names compare without regard to case, the first matching
// section and in it the first matching key count, names and values are trimmed
// and a value in matching quotes loses them; a line without "=" is no key: it
// is kept as it stands and never read, replaced or deleted. A write changes only the line concerned and keeps every
// other line byte for byte; the file is replaced whole, so a reader never sees
// half of a write. Paths here are host paths.
#pragma once

#include <QString>
#include <optional>

namespace varnel::profile {

// The value of the key, or nothing when the file, the section or the key is missing.
std::optional<QString> Read(const QString& hostFile, const QString& section, const QString& key);

// key and value given: sets key=value (adds the section at the end of the file and the
// key after the section's last line when missing; creates the file).
// value missing: deletes the key. key missing: deletes the whole section.
// True on success, also when there was nothing to delete.
bool Write(const QString& hostFile, const QString& section, const std::optional<QString>& key,
           const std::optional<QString>& value);

}  // namespace varnel::profile
