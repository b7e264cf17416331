// Reading the demo account's routes and programming them into the fake.
#include "fixture.h"

#include <stdlib.h>
#include <string.h>
#include <yyjson.h>

#include "host_plix.h"
#include "host_text.h"

namespace {

const char *text_of(yyjson_val *object, const char *key) {
    return yyjson_get_str(yyjson_obj_get(object, key));
}

bool read_route(yyjson_val *v, const std::string &base, const std::string &key, fake_route &r,
                std::string &error) {
    if (!yyjson_is_obj(v)) {
        error = "a route is not an object";
        return false;
    }
    const char *method = text_of(v, "method");
    r.method = method ? method : "GET";
    if (r.method != "GET" && r.method != "POST") {
        error = "route method " + r.method + " is neither GET nor POST";
        return false;
    }
    const char *path = text_of(v, "path");
    const char *url = text_of(v, "url");
    if (!path == !url) {
        error = "a route needs exactly one of \"path\" and \"url\"";
        return false;
    }
    r.url = path ? base + path : url;
    yyjson_val *query = yyjson_obj_get(v, "query");
    if (query && !yyjson_is_arr(query)) {
        error = "route " + r.url + ": \"query\" is not a list";
        return false;
    }
    size_t i, n;
    yyjson_val *pair;
    yyjson_arr_foreach(query, i, n, pair) {
        const char *name = yyjson_get_str(yyjson_arr_get(pair, 0));
        const char *value = yyjson_get_str(yyjson_arr_get(pair, 1));
        if (!name || !value) {
            error = "route " + r.url + ": a query pair is not [name, value]";
            return false;
        }
        r.url += r.url.find('?') == std::string::npos ? '?' : '&';
        r.url += percent_encode(name) + "=" + percent_encode(value);
    }
    if (path)
        r.url += std::string(r.url.find('?') == std::string::npos ? "?" : "&") +
                 "apikey=" + percent_encode(key);
    yyjson_val *status = yyjson_obj_get(v, "status");
    if (status) {
        if (!yyjson_is_int(status)) {
            error = "route " + r.url + ": \"status\" is not a number";
            return false;
        }
        r.status = static_cast<int>(yyjson_get_int(status));
    }
    yyjson_val *body = yyjson_obj_get(v, "body");
    if (yyjson_is_str(body)) {
        r.body = yyjson_get_str(body);
    } else if (body) {
        char *json = yyjson_val_write(body, 0, nullptr);
        if (!json) {
            error = "out of memory";
            return false;
        }
        r.body = json;
        free(json);
    }
    yyjson_val *then = yyjson_obj_get(v, "then");
    yyjson_val *next;
    yyjson_arr_foreach(then, i, n, next) {
        fake_route follow;
        if (!read_route(next, base, key, follow, error)) return false;
        r.then.push_back(std::move(follow));
    }
    return true;
}

bool program(const plix_api &api, const fake_route &r) {
    return api.fake_set(r.method.c_str(), r.url.c_str(), r.status, r.body.c_str()) == PLIX_OK;
}

}  // namespace

bool fixture_read(const std::string &text, const std::string &base, fixture &out,
                  std::string &error) {
    yyjson_read_err why;
    yyjson_doc *doc =
        yyjson_read_opts(const_cast<char *>(text.data()), text.size(), 0, nullptr, &why);
    if (!doc) {
        error = std::string("not JSON: ") + why.msg + " at byte " + std::to_string(why.pos);
        return false;
    }
    yyjson_val *root = yyjson_doc_get_root(doc);
    const char *key = text_of(root, "key");
    const char *magnet = text_of(root, "magnet");
    yyjson_val *routes = yyjson_obj_get(root, "routes");
    bool ok = yyjson_is_arr(routes);
    if (!ok) error = "no \"routes\" list";
    out = fixture{};
    out.key = key ? key : "";
    out.magnet = magnet ? magnet : "";
    if (ok && out.key.empty()) {
        error = "no \"key\"";
        ok = false;
    }
    size_t i, n;
    yyjson_val *v;
    yyjson_arr_foreach(routes, i, n, v) {
        if (!ok) break;
        fake_route r;
        ok = read_route(v, base, out.key, r, error);
        if (ok) out.routes.push_back(std::move(r));
    }
    yyjson_doc_free(doc);
    return ok;
}

bool fixture_install(const plix_api &api, const fixture &f, std::string &error) {
    api.fake_reset();
    for (const fake_route &r : f.routes) {
        if (!program(api, r)) {
            error = "the fake transport refused the route " + r.method + " " + r.url;
            return false;
        }
    }
    api.use_fake();
    return true;
}

void fixture_follow_up(const plix_api &api, fixture &f) {
    std::vector<fake_route> next;
    for (fake_route &r : f.routes) {
        if (r.then.empty() || api.fake_calls(r.method.c_str(), r.url.c_str()) == 0) continue;
        for (fake_route &follow : r.then) {
            program(api, follow);
            next.push_back(std::move(follow));
        }
        r.then.clear();
    }
    for (fake_route &r : next) f.routes.push_back(std::move(r));
}
