// plixd's log: one line an event on standard error, "plixd: " first. No
// line holds the API key, a password or a playlist token: callers pass
// paths without their query, and plix's own messages come with the key
// masked.
#pragma once

#include <stdio.h>

#include <mutex>
#include <string>

class logger {
  public:
    explicit logger(FILE *to = stderr) : to_(to) {}
    void say(const std::string &line) {
        std::lock_guard<std::mutex> hold(mutex_);
        fprintf(to_, "plixd: %s\n", line.c_str());
        fflush(to_);
    }

  private:
    std::mutex mutex_;
    FILE *to_;
};
