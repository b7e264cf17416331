// Shared helpers of the operation tests: calls through the flat exports
// with a large buffer, and the exact URLs the plug-in asks for.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plix.h"
#include "plix_fake.h"

#define PLIX_TEST_BASE "https://debrid-link.com/api/v2"

// Settings with the key "k3y-0001" (encodes to itself).
constexpr char kSettings[] = "{\"APIKey\":\"k3y-0001\"}";
constexpr char kKey[] = "apikey=k3y-0001";

struct answer {
    int code;
    std::string out;
    bool operator==(const answer &o) const { return code == o.code && out == o.out; }
};

inline std::ostream &operator<<(std::ostream &os, const answer &a) {
    return os << "{" << a.code << ", " << a.out << "}";
}

inline answer call(int (*fn)(const char *, const char *, char *, int), const char *arg,
                   const char *settings = kSettings) {
    std::vector<char> out(1 << 22, '#');
    int code = fn(settings, arg, out.data(), static_cast<int>(out.size()));
    return {code, out.data()};
}

inline answer validate(const char *settings = kSettings) {
    std::vector<char> out(1 << 16, '#');
    int code = plix_validate(settings, out.data(), static_cast<int>(out.size()));
    return {code, out.data()};
}

// The error document of a failure message (quotes and backslashes escaped).
inline std::string err(const std::string &message) {
    std::string e;
    for (char c : message) {
        if (c == '"' || c == '\\') e += '\\';
        e += c;
    }
    return "{\"error\":\"" + e + "\"}";
}

// An answer body in the service's envelope.
inline std::string ok(const std::string &value) {
    return "{\"success\":true,\"value\":" + value + "}";
}
inline std::string refusal(const std::string &code, const std::string &desc) {
    return "{\"success\":false,\"error\":\"" + code + "\",\"error_description\":\"" + desc + "\"}";
}

// Selects a fresh fake transport with the write gate closed.
struct fake_test : ::testing::Test {
    void SetUp() override {
        plix_use_fake();
        plix_fake_reset();
        plix_allow_writes(0);
    }
    void TearDown() override {
        plix_fake_reset();
        plix_allow_writes(0);
        plix_set_io(nullptr);
    }
};
