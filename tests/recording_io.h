// A host transport for tests: answers from a script of replies, records
// every request, and counts the strings it hands over and gets back.
#pragma once

#include <stdlib.h>
#include <string.h>

#include <deque>
#include <string>
#include <vector>

#include "plix.h"

struct recording_io {
    struct request {
        std::string method, url, body, content_type;
    };
    struct reply {
        int answer = 0;    // slot's answer
        bool body = true;  // store a body
        std::string text;  // the body
        int status = 200;
        const char *error = nullptr;  // error text to store, if any
    };

    std::deque<reply> replies;  // consumed in order; empty: 404 "none"
    std::vector<request> seen;
    int handed = 0;    // strings stored through body_out / error_out
    int returned = 0;  // strings given back through free
    bool with_free = true;

    plix_io table() {
        plix_io t{this, get, post, with_free ? release : nullptr};
        return t;
    }
    void add(int status, std::string text) {
        reply r;
        r.status = status;
        r.text = std::move(text);
        replies.push_back(r);
    }
    void fail(const char *error) {
        reply r;
        r.answer = 1;
        r.body = false;
        r.error = error;
        replies.push_back(r);
    }

    static char *dup(const std::string &s) {
        char *p = static_cast<char *>(malloc(s.size() + 1));
        memcpy(p, s.c_str(), s.size() + 1);
        return p;
    }
    int answer(request rq, char **body, int *status, char **error) {
        seen.push_back(std::move(rq));
        reply r;
        if (!replies.empty()) {
            r = replies.front();
            replies.pop_front();
        } else {
            r.status = 404;
            r.text = "none";
        }
        if (r.body) *body = dup(r.text), ++handed;
        if (r.error) *error = dup(r.error), ++handed;
        *status = r.status;
        return r.answer;
    }
    static int get(void *ctx, const char *url, char **body, int *status, char **error) {
        return static_cast<recording_io *>(ctx)->answer({"GET", url, "", ""}, body, status, error);
    }
    static int post(void *ctx, const char *url, const char *b, const char *type, char **body,
                    int *status, char **error) {
        return static_cast<recording_io *>(ctx)->answer({"POST", url, b, type}, body, status,
                                                        error);
    }
    static void release(void *ctx, char *text) {
        ++static_cast<recording_io *>(ctx)->returned;
        free(text);
    }
};
