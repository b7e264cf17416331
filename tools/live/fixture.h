// The demo account: canned answers for the plug-in's fake transport, read
// from a JSON file of routes.
//
//   {"key": "...", "magnet": "...", "routes": [route, ...]}
//
// A route is {"method", "path" or "url", "query", "status", "body", "then"}:
// - "path" follows the API base URL and the request carries the account's
//   key, so the route's URL ends in "apikey=" and the percent-encoded key;
//   "url" is a whole URL, asked for without a key (a link to fetch);
// - "query" is a list of [name, value] pairs appended percent-encoded, for
//   values such as links that would be unreadable written encoded;
// - "method" defaults to GET and "status" to 200; "body" is a JSON value
//   (sent as compact text) or a string (sent as it is);
// - "then" lists routes that replace others once this route has answered,
//   so an add can show up in the next listing.
#pragma once

#include <string>
#include <vector>

struct plix_api;

struct fake_route {
    std::string method;
    std::string url;
    int status = 200;
    std::string body;
    std::vector<fake_route> then;
};

struct fixture {
    std::string key;     // the demo account's API key
    std::string magnet;  // the link the tour adds
    std::vector<fake_route> routes;
};

// The demo account built into plixctl.
extern const char kDemoAccount[];

// Reads a fixture. The routes' URLs are built from base (the plug-in's API
// base URL) and the fixture's key.
bool fixture_read(const std::string &text, const std::string &base, fixture &out,
                  std::string &error);

// Empties the fake transport and programs the fixture's routes into it.
bool fixture_install(const plix_api &api, const fixture &f, std::string &error);

// Programs the follow-up routes of every route that has answered since the
// fixture was installed, each once.
void fixture_follow_up(const plix_api &api, fixture &f);
