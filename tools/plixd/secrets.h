// What keeps plixd's share closed: the users of a password file, checked
// through the system's crypt, and the tokens that let a playlist's entries
// play without a password.
#pragma once

#include <stddef.h>
#include <time.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

// A random key for the process's MACs; answers false when the system has
// no random bytes to give.
bool secret_make(std::string &key);

// HMAC-SHA256 of text under key, as 64 hex digits.
std::string hmac_hex(const std::string &key, const std::string &text);

// Whether a and b are the same, in a time that does not depend on where
// they differ.
bool same_in_constant_time(const std::string &a, const std::string &b);

// The users of an htpasswd file ("user:hash" lines, as htpasswd -B and
// openssl passwd -6 write them: bcrypt $2y$/$2b$/$2a$, SHA-crypt $5$/$6$,
// yescrypt $y$).
class user_list {
  public:
    explicit user_list(std::string key) : key_(std::move(key)) {}

    // Reads the file. false with error (naming the line, never a hash) when
    // it cannot be read, holds no user, or a line is not "user:hash" with a
    // hash of the kinds above.
    bool load(const std::string &path, std::string &error);
    bool load_text(const std::string &text, std::string &error);

    // Whether password is user's. A check that passed is remembered for ten
    // minutes (bcrypt takes a tenth of a second, and clients send the
    // password with every request), as a MAC of the pair, never the
    // password.
    bool check(const std::string &user, const std::string &password);

    size_t size() const { return hashes_.size(); }

  private:
    std::string key_;
    std::map<std::string, std::string> hashes_;  // user -> hash
    std::mutex mutex_;
    std::map<std::string, time_t> passed_;  // MAC of user and password -> when it passed
};

// Tokens for playlist entries: "<expiry><MAC>" in hex, the MAC over the
// expiry and the one path the token opens. A token opens nothing else and
// nothing after it expires; it holds no password.
class token_keeper {
  public:
    explicit token_keeper(std::string key) : key_(std::move(key)) {}
    std::string make(const std::string &path, time_t expires) const;
    bool check(const std::string &token, const std::string &path, time_t now) const;

  private:
    std::string key_;
};
