// console_look_test.cpp - when the console poll looks at the console, the
// rule both sides share, on the clock the test gives through g_os.tick_ms.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/console_look.h"
#include "platform/platform.h"

namespace {

uint64_t g_now = 0;
uint64_t now_ms() { return g_now; }

// Steps of one poll run: the clock at the poll, whether a look is due, and
// (when it is) whether the look found an event.
struct Step {
    uint64_t at;
    bool due;
    bool event;
};

struct Case {
    const char* name;
    std::vector<Step> steps;
};

const uint64_t L = OS_CONSOLE_LOOK_MS;
const uint64_t T0 = 1000000;  // not 0: the rule must not depend on the start

TEST(ConsoleLook, WaitsOnlyAfterALookThatFoundNothing) {
    const Case cases[] = {
        {"the first poll looks", {{T0, true, false}}},
        {"nothing found: the next look waits the whole interval",
         {{T0, true, false}, {T0, false, false}, {T0 + L - 1, false, false}, {T0 + L, true, false},
          {T0 + L + 1, false, false}, {T0 + 2 * L + 7, true, false}}},
        {"an event found: the next look comes at once",
         {{T0, true, true}, {T0, true, true}, {T0, true, false}, {T0 + 1, false, false}, {T0 + L, true, true},
          {T0 + L, true, false}}},
        {"a clock that wraps past 2^64", {{~0ull - 1, true, false}, {~0ull, false, false}, {L - 2, true, false}}},
    };
    os_api saved = g_os;
    g_os.tick_ms = now_ms;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform_detail::console_look look;
        int i = 0;
        for (const Step& s : c.steps) {
            SCOPED_TRACE("step " + std::to_string(i++));
            g_now = s.at;
            ASSERT_EQ(look.due(), s.due);
            if (s.due) look.found(s.event);
        }
    }
    g_os = saved;
}

// The platform's own clock runs forward and at real speed: over a sleep of
// 30 ms it moves at least about that far, and no farther than the C++
// steady clock read around it (however long a busy machine made the sleep).
TEST(ConsoleLook, TickIsMonotonicMilliseconds) {
    const auto before = std::chrono::steady_clock::now();
    uint64_t a = g_os.tick_ms();
    g_os.sleep_ms(30);
    uint64_t b = g_os.tick_ms();
    const auto took = std::chrono::steady_clock::now() - before;
    EXPECT_GE(b - a, 25u);
    EXPECT_LE(b - a, (uint64_t)std::chrono::duration_cast<std::chrono::milliseconds>(took).count() + 2);
}

}  // namespace
