// text_fixture.h - what the text tests share: the code-page-932 lead-byte
// answer and a fixture that injects it, inputs copied into buffers of exactly
// their length, and small byte and unit builders.
#ifndef REELKILN_TESTS_TEXT_FIXTURE_H
#define REELKILN_TESTS_TEXT_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "testutil.h"

namespace texttest {

// The lead bytes of code page 932, as IsDBCSLeadByte gives them there.
inline int cp932_lead(uint8_t c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
// A single-byte code page: no lead bytes at all.
inline int no_lead(uint8_t) { return 0; }

// The functions under test take their lead bytes from the platform: every
// test of this fixture runs under code page 932 and gets the table back
// afterwards.  A test may switch to no_lead for itself.
class WithCp932 : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = g_os;
        g_os.is_dbcs_lead = cp932_lead;
    }
    void TearDown() override { g_os = saved_; }
    os_api saved_;
};

// s in a heap buffer of exactly its length plus the 0, so that the sanitizer
// build catches a read past the terminator.
template <class C>
std::unique_ptr<C[]> exact(std::basic_string_view<C> s) {
    auto p = std::make_unique<C[]>(s.size() + 1);
    for (size_t i = 0; i < s.size(); i++) p[i] = s[i];
    p[s.size()] = 0;
    return p;
}
inline std::unique_ptr<char[]> exact8(std::string_view s) { return exact<char>(s); }

// Byte-for-unit widening; for ASCII texts only.
inline std::u16string widen(std::string_view s) { return std::u16string(s.begin(), s.end()); }

// Hex ("81 5c") to the string of those bytes.
inline std::string bytes_str(std::string_view hex) {
    auto v = testutil::h2b(hex);
    return std::string(v.begin(), v.end());
}

}  // namespace texttest

#endif
