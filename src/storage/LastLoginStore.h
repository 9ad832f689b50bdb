#pragma once

#include <QString>

#include <optional>

namespace Storage {

// The e-mail address of the last sign-in attempt the server answered with a next step, kept in
// dataDir() + "/last_login.json" as {"email":"..."} and cached in memory. The file is read at most
// once per process; afterwards the cache answers. All operations are static, whole under one
// non-recursive mutex, and report nothing: a file that cannot be written leaves only the cache.
class LastLoginStore final
{
public:
    LastLoginStore() = delete;

    static QString path();
    // Remembers the trimmed e-mail; a blank text changes nothing.
    static void save(const QString &email);
    // None when nothing usable was saved or found.
    static std::optional<QString> load();
    // Forgets the e-mail and removes the file.
    static void clear();
};

} // namespace Storage
