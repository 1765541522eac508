#pragma once

// Makes the character set of this process's locale UTF-8 when the
// environment's is not (LANG unset, as under cron or systemd, or a locale
// such as "C" or "POSIX"): Qt expects UTF-8 and otherwise warns on standard
// error at start-up. Only the character set changes (LC_CTYPE becomes
// C.UTF-8), through the environment, so the Qt application object picks it
// up when it sets the locale; the console's texts are ASCII and read the
// same. Call it before any application object exists.
void UseUtf8CharacterSet();
