#include "platform/system_timing.h"
#include "platform/utf8_locale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <langinfo.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(Utf8CharacterSet, EveryLocaleSettingEndsInAUtf8CharacterSet)
{
    // No locale at all (cron, systemd), one without UTF-8 in each variable
    // that can carry it, one that is not installed, and one with UTF-8.
    const std::vector<std::vector<std::pair<const char *, const char *>>> cases = {
        {},
        { { "LC_ALL", "C" } },
        { { "LC_ALL", "C" }, { "LANG", "C.UTF-8" } },
        { { "LC_CTYPE", "POSIX" } },
        { { "LANG", "C" } },
        { { "LC_ALL", "xx_YY.UTF-8" } },
        { { "LANG", "xx_YY" } },
        { { "LC_ALL", "C.UTF-8" } },
    };
    for (const auto &settings : cases) {
        std::string name;
        for (const auto &[variable, value] : settings)
            name += std::string(variable) + "=" + value + " ";
        SCOPED_TRACE(name);
        // In a child: the step changes the process's environment.
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (const char *variable : { "LC_ALL", "LC_CTYPE", "LANG", "LANGUAGE" })
                ::unsetenv(variable);
            for (const auto &[variable, value] : settings)
                ::setenv(variable, value, 1);
            UseUtf8CharacterSet();
            // As Qt then takes the locale from the environment.
            const bool utf8 = std::setlocale(LC_ALL, "") != nullptr && std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
            ::_exit(utf8 ? 0 : 1);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
}

TEST(SecondsClock, RoundsHalfToEvenAndCountsAcrossMidnight)
{
    EXPECT_EQ(RoundSecondsHalfToEven(10.49), 10);
    EXPECT_EQ(RoundSecondsHalfToEven(10.5), 10);
    EXPECT_EQ(RoundSecondsHalfToEven(11.5), 12);
    EXPECT_EQ(RoundSecondsHalfToEven(11.51), 12);
    EXPECT_EQ(RoundSecondsHalfToEven(0.0), 0);

    EXPECT_EQ(SecondsBetween({ 100, 86399 }, { 101, 2 }), 3) << "a run across midnight";
    EXPECT_EQ(SecondsBetween({ 100, 10 }, { 100, 12 }), 2);
    EXPECT_EQ(SecondsBetween({ 100, 86400 }, { 101, 0 }), 0) << "23:59:59.6 rounds up to 86400";

    LocalSecondsClock clock;
    const SecondsReading a = clock.now();
    const SecondsReading b = clock.now();
    EXPECT_GE(a.seconds, 0);
    EXPECT_LE(a.seconds, 86400);
    EXPECT_GE(SecondsBetween(a, b), 0);
}

} // namespace
