#include "secrets.h"

#include <crypt.h>
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "host_text.h"

namespace {

std::string hex(const unsigned char *bytes, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

bool known_hash(const std::string &hash) {
    for (const char *prefix : {"$2y$", "$2b$", "$2a$", "$5$", "$6$", "$y$"})
        if (hash.compare(0, strlen(prefix), prefix) == 0) return true;
    return false;
}

}  // namespace

bool secret_make(std::string &key) {
    unsigned char bytes[32];
    if (gnutls_rnd(GNUTLS_RND_KEY, bytes, sizeof bytes) != 0) return false;
    key.assign(reinterpret_cast<char *>(bytes), sizeof bytes);
    return true;
}

std::string hmac_hex(const std::string &key, const std::string &text) {
    unsigned char digest[32];
    if (gnutls_hmac_fast(GNUTLS_MAC_SHA256, key.data(), key.size(), text.data(), text.size(),
                         digest) != 0)
        return "";
    return hex(digest, sizeof digest);
}

bool same_in_constant_time(const std::string &a, const std::string &b) {
    size_t n = a.size() > b.size() ? a.size() : b.size();
    unsigned char diff = a.size() == b.size() ? 0 : 1;
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
        unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
        diff |= x ^ y;
    }
    return diff == 0;
}

bool user_list::load(const std::string &path, std::string &error) {
    std::string text;
    if (!read_file(path, text, error)) return false;
    if (!load_text(text, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

bool user_list::load_text(const std::string &text, std::string &error) {
    hashes_.clear();
    int number = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = trim(text.substr(at, end - at));
        at = end + 1;
        ++number;
        if (line.empty() || line[0] == '#') continue;
        size_t colon = line.find(':');
        std::string user = colon == std::string::npos ? "" : line.substr(0, colon);
        std::string hash = colon == std::string::npos ? "" : line.substr(colon + 1);
        if (user.empty() || !known_hash(hash)) {
            error = "line " + std::to_string(number) +
                    " is not user:hash with a bcrypt or SHA-crypt hash (htpasswd -B writes one)";
            return false;
        }
        hashes_[user] = hash;
    }
    if (hashes_.empty()) {
        error = "no user in the file";
        return false;
    }
    return true;
}

bool user_list::check(const std::string &user, const std::string &password) {
    std::string mac = hmac_hex(key_, user + std::string(1, '\0') + password);
    time_t now = time(nullptr);
    {
        std::lock_guard<std::mutex> hold(mutex_);
        auto seen = passed_.find(mac);
        if (!mac.empty() && seen != passed_.end() && now - seen->second < 600) return true;
    }
    auto known = hashes_.find(user);
    // An unknown user costs a check too, so that the time taken does not
    // tell which users exist.
    const std::string &hash = known != hashes_.end() ? known->second : hashes_.begin()->second;
    auto *data = static_cast<crypt_data *>(calloc(1, sizeof(crypt_data)));
    if (!data) return false;
    const char *made = crypt_r(password.c_str(), hash.c_str(), data);
    bool ok = made && made[0] != '*' && same_in_constant_time(made, hash) && known != hashes_.end();
    free(data);
    if (ok && !mac.empty()) {
        std::lock_guard<std::mutex> hold(mutex_);
        if (passed_.size() > 1024) passed_.clear();
        passed_[mac] = now;
    }
    return ok;
}

std::string token_keeper::make(const std::string &path, time_t expires) const {
    char when[17];
    snprintf(when, sizeof when, "%016llx", static_cast<unsigned long long>(expires));
    return std::string(when) + hmac_hex(key_, std::string(when) + "\n" + path).substr(0, 32);
}

bool token_keeper::check(const std::string &token, const std::string &path, time_t now) const {
    if (token.size() != 48) return false;
    std::string when = token.substr(0, 16);
    if (when.find_first_not_of("0123456789abcdef") != std::string::npos) return false;
    unsigned long long expires = strtoull(when.c_str(), nullptr, 16);
    if (expires <= static_cast<unsigned long long>(now)) return false;
    std::string mac = hmac_hex(key_, when + "\n" + path).substr(0, 32);
    return same_in_constant_time(mac, token.substr(16));
}
