// textreader_test.cpp - the text reader in both modes (characters, lookahead,
// lines, counts, line skipping, checks, resynchronising, a closed reader) and
// the key latch and poll with stand-in console events.

#include <filesystem>

#include "stream_fixture.h"

using namespace streamtest;
using testutil::h2b;

namespace {

class TextWay : public StreamTest, public testing::WithParamInterface<bool> {
protected:
    bool wide() const { return GetParam(); }
    int open(const std::string& p) { return wide() ? tfopenW(testutil::u16(p).c_str()) : tfopen(p.c_str()); }
    int check(const std::string& p) { return wide() ? tfcheckW(testutil::u16(p).c_str()) : tfcheck(p.c_str()); }
};

INSTANTIATE_TEST_SUITE_P(Modes, TextWay, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& i) { return std::string(i.param ? "wide" : "narrow"); });

TEST_P(TextWay, FreshReaderHasNothing) {
    EXPECT_EQ(tfpeek(), -1);
    EXPECT_EQ(tfeof(), -1);
    EXPECT_EQ(tfgetc(), -1);
    EXPECT_EQ(tfgetline(), 1);
    EXPECT_EQ(tfgetcount(), 0);
    EXPECT_EQ(tfskipline(), -1);
    EXPECT_EQ(g_faults.reads, 0);
}

TEST_P(TextWay, EmptyFile) {
    ASSERT_EQ(open(make("e.txt", std::vector<uint8_t>{})), 0);
    EXPECT_EQ(tfeof(), 0);
    EXPECT_EQ(tfpeek(), -1);
    EXPECT_EQ(tfgetc(), -1);
    EXPECT_EQ(tfeof(), -1);
    EXPECT_EQ(tfgetline(), 1);
    EXPECT_EQ(tfgetcount(), wide() ? 1 : 0);
}

TEST_P(TextWay, CharactersLinesAndCounts) {
    ASSERT_EQ(open(make("t.txt", h2b("61 0a 62"))), 0);
    EXPECT_EQ(tfgetcount(), wide() ? 1 : 0);
    EXPECT_EQ(tfpeek(), 'a');
    EXPECT_EQ(tfgetc(), 'a');
    EXPECT_EQ(tfgetline(), 1);
    EXPECT_EQ(tfpeek(), 10);
    EXPECT_EQ(tfgetc(), 10);
    EXPECT_EQ(tfgetline(), 2);
    EXPECT_EQ(tfgetc(), 'b');
    EXPECT_EQ(tfeof(), 0);
    EXPECT_EQ(tfgetc(), -1);
    EXPECT_EQ(tfeof(), -1);
    EXPECT_EQ(tfgetc(), -1);
    EXPECT_EQ(tfgetline(), 2);
    EXPECT_EQ(tfgetcount(), wide() ? 4 : 3);
}

// A long file through the reader: every byte once, as 0..255 (0xFF is a
// byte, not the end), across the 8192-byte refills, with the lines counted.
TEST_P(TextWay, EveryByteOnceAcrossRefills) {
    std::vector<uint8_t> data = pattern(3 * 8192 + 77);
    data[100] = 0xFF;
    data[8191] = 0xFF;
    data[8192] = 0x80;
    int lfs = 0;
    for (uint8_t b : data) lfs += b == 10;
    ASSERT_EQ(open(make("t.bin", data)), 0);
    for (size_t i = 0; i < data.size(); i++) {
        ASSERT_EQ(tfpeek(), data[i]) << i;
        ASSERT_EQ(tfgetc(), data[i]) << i;
    }
    EXPECT_EQ(tfgetc(), -1);
    EXPECT_EQ(tfgetline(), lfs + 1);
}

TEST_P(TextWay, SkipLine) {
    struct Case {
        const char* name;
        const char* hex;
        std::vector<int> results;  // of successive tfskipline calls
        int peek_after;            // the lookahead after them
    };
    const Case cases[] = {
        {"crlf", "61 62 63 0d 0a 78", {0}, 10},
        {"crlf_twice", "61 62 63 0d 0a 78", {0, 0}, 'x'},
        {"lf", "61 0a 62", {0}, 'b'},
        {"ctrl_z", "61 1a 62", {0}, 'b'},
        {"at_line_end", "0d 41", {0}, 'A'},
        {"no_end", "61 62 63", {-1}, -1},
        {"empty", "", {-1}, -1},
        {"last_line", "0a 61", {0, -1}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(open(make("s.txt", h2b(c.hex))), 0);
        for (int want : c.results) EXPECT_EQ(tfskipline(), want);
        EXPECT_EQ(tfpeek(), c.peek_after);
        tfclose();  // the next case rewrites the file, which an open reader holds
    }
}

// Opening a second file closes the first; the same file opens at once by
// the other kind of name.
TEST_P(TextWay, ReopenAndOtherKindOfName) {
    std::string a = make("a.txt", h2b("41 42")), b = make("b.txt", h2b("43"));
    ASSERT_EQ(open(a), 0);
    tfgetc();
    ASSERT_EQ(open(b), 0);
    EXPECT_EQ(tfgetc(), 'C');
    ASSERT_EQ(wide() ? tfopen(b.c_str()) : tfopenW(testutil::u16(b).c_str()), 0);
    EXPECT_EQ(tfgetc(), 'C');
    tfclose();
    EXPECT_EQ(g_faults.good_opens, g_faults.closes);
    // A failed open leaves the reader closed.
    ASSERT_EQ(open(a), 0);
    EXPECT_EQ(open(path("missing")), -1);
    EXPECT_EQ(g_faults.good_opens, g_faults.closes);
}

TEST_P(TextWay, Checks) {
    std::string a = make("a.txt", h2b("41 42 43"));
    ASSERT_EQ(open(a), 0);
    tfgetc();
    std::string out = captured([&] {
        EXPECT_EQ(check(path("missing")), -1);
        EXPECT_EQ(check(a), 0);
        EXPECT_EQ(check(dir_.str()), -1);  // a directory is no file
    });
    EXPECT_EQ(out, "");
    EXPECT_EQ(tfeof(), 0);
    EXPECT_EQ(tfgetcount(), 0);
    EXPECT_EQ(g_faults.good_opens, g_faults.closes);
}

// A closed reader hands out the character it still holds, then -1, and
// never touches the file again (in FILE mode, a read of the closed runtime
// file would be a use after free).
TEST_P(TextWay, ClosedReaderTouchesNothing) {
    ASSERT_EQ(open(make("a.txt", pattern(20000))), 0);
    int held = tfpeek();
    tfgetc();
    held = tfpeek();
    tfclose();
    int reads = g_faults.reads;
    EXPECT_EQ(tfpeek(), held);
    EXPECT_EQ(tfgetc(), held);
    EXPECT_EQ(tfgetc(), -1);
    EXPECT_EQ(tfeof(), -1);
    EXPECT_EQ(tfskipline(), -1);
    EXPECT_EQ(tfresync(), wide() ? -2 : 0);
    EXPECT_EQ(g_faults.reads, reads);
    tfclose();  // twice is harmless
}

// Resynchronising: the system's file pointer ends right behind the
// lookahead, as if the file had been read one byte at a time, and reading
// goes on unchanged.
TEST_F(StreamTest, ResyncPutsThePointerBehindTheLookahead) {
    const std::vector<uint8_t> data = pattern(20000);
    std::u16string p = testutil::u16(make("a.txt", data));
    for (int taken : {0, 1, 500, 8190, 8191, 8192, 8193, 19999}) {
        SCOPED_TRACE(taken);
        ASSERT_EQ(tfopenW(p.c_str()), 0);
        os_file h = g_faults.last_opened;
        for (int i = 0; i < taken; i++) ASSERT_EQ(tfgetc(), data[i]);
        int count = tfgetcount();
        EXPECT_EQ(tfresync(), 0);
        int64_t at = -1;
        ASSERT_EQ(os_native.seek(h, 0, OS_SEEK_CURRENT, &at), 1);
        EXPECT_EQ(at, taken + 1);
        EXPECT_EQ(tfgetcount(), count);
        EXPECT_EQ(tfpeek(), data[taken]);
        for (int i = taken; i < (int)data.size(); i++) ASSERT_EQ(tfgetc(), data[i]) << i;
        EXPECT_EQ(tfgetc(), -1);
    }
    // A refused move changes nothing.
    ASSERT_EQ(tfopenW(p.c_str()), 0);
    for (int i = 0; i < 10; i++) tfgetc();
    g_faults.fail_seek = g_faults.seeks + 1;
    EXPECT_EQ(tfresync(), -2);
    for (int i = 10; i < (int)data.size(); i++) ASSERT_EQ(tfgetc(), data[i]) << i;
    // FILE mode has nothing to do.
    ASSERT_EQ(tfopen(path("a.txt").c_str()), 0);
    tfgetc();
    int seeks = g_faults.seeks;
    EXPECT_EQ(tfresync(), 0);
    EXPECT_EQ(g_faults.seeks, seeks);
    EXPECT_EQ(tfgetc(), data[1]);
}

// A failing read in handle mode counts as the end of the file.
TEST_F(StreamTest, TextReaderFailingReadIsTheEnd) {
    const std::vector<uint8_t> data = pattern(10000);
    std::u16string p = testutil::u16(make("a.txt", data));
    ASSERT_EQ(tfopenW(p.c_str()), 0);
    g_faults.fail_read = g_faults.reads + 1;
    for (int i = 0; i < 8192; i++) ASSERT_EQ(tfgetc(), data[i]);
    EXPECT_EQ(tfgetc(), -1);
    EXPECT_EQ(tfeof(), -1);
    g_faults.fail_read = g_faults.reads + 1;
    ASSERT_EQ(tfopenW(p.c_str()), 0);
    EXPECT_EQ(tfpeek(), -1);
}

// ---- The key latch and the poll -----------------------------------------------

struct Event {
    int result;  // what the console answers: 1 an event was taken, 0 none
    int key;
};
std::vector<Event> g_events;
int g_pumps = 0, g_polls = 0;

void fake_pump() { g_pumps++; }
int fake_event(int* key) {
    g_polls++;
    if (g_events.empty()) return 0;
    Event e = g_events.front();
    g_events.erase(g_events.begin());
    *key = e.key;
    return e.result;
}

class KeyPoll : public StreamTest {
protected:
    void SetUp() override {
        StreamTest::SetUp();
        g_os.pump_messages = fake_pump;
        g_os.console_event = fake_event;
        g_events.clear();
        g_pumps = g_polls = 0;
    }
};

TEST_F(KeyPoll, Latch) {
    EXPECT_EQ(getlastkey(), 0);
    EXPECT_EQ(setlastkey(27), 0);
    EXPECT_EQ(setlastkey(5), 27);
    EXPECT_EQ(getlastkey(), 5);
    EXPECT_EQ(getlastkey(), 0);
}

// Each poll pumps the messages and takes at most one event; a key press
// latches its character, anything else is taken and forgotten.
TEST_F(KeyPoll, Events) {
    struct Case {
        const char* name;
        std::vector<Event> events;
        std::vector<int> polls;  // what successive keypoll calls return
    };
    const Case cases[] = {
        {"nothing", {}, {0, 0}},
        {"esc", {{1, 27}}, {27, 27}},
        {"mouse_then_esc", {{1, 0}, {1, 27}}, {0, 27}},
        {"key_up_then_ctrl_c", {{1, 0}, {1, 3}}, {0, 3}},
        {"newer_overwrites", {{1, 'a'}, {1, 27}}, {'a', 27}},
        {"high_character", {{1, -92}}, {-92}},
        {"no_console", {{0, 0}}, {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        getlastkey();
        g_events = c.events;
        g_pumps = g_polls = 0;
        for (int want : c.polls) EXPECT_EQ(keypoll(), want);
        EXPECT_EQ(g_pumps, (int)c.polls.size());
        EXPECT_EQ(g_polls, (int)c.polls.size());
    }
}

TEST_F(KeyPoll, EscIsTakenOnce) {
    g_events = {{1, 27}};
    EXPECT_EQ(keypoll(), 27);
    EXPECT_EQ(getlastkey(), 27);
    EXPECT_EQ(getlastkey(), 0);
    EXPECT_EQ(keypoll(), 0);
    g_events = {{1, 27}};
    keypoll();
    EXPECT_EQ(setlastkey(5), 27);
    EXPECT_EQ(keypoll(), 5);
}

}  // namespace
