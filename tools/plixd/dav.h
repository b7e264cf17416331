// The WebDAV plixd speaks (RFC 4918, class 1, read-only): reading a
// PROPFIND request and its Depth, and writing the 207 Multi-Status answer
// with the live properties of folders and files.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

// A property's name: its namespace ("DAV:") and local name.
struct prop_name {
    std::string ns, name;
    bool operator==(const prop_name &o) const { return ns == o.ns && name == o.name; }
};

// What a PROPFIND asks for.
struct propfind {
    enum kind { allprop, propname, prop } what = allprop;
    std::vector<prop_name> props;  // for prop
};

// The most a PROPFIND body may hold.
inline constexpr size_t DAV_BODY_MAX = 64 * 1024;

// Reads a PROPFIND body (length bytes; an empty body asks for allprop).
// false when it is not a well-formed DAV:propfind document holding
// DAV:allprop, DAV:propname or DAV:prop (a document type, and so any
// entity declaration, is refused).
bool parse_propfind(const char *body, size_t length, propfind &out);

// The Depth header's value: 0, 1, or -1 for infinity (also when the header
// is absent, header null). false for any other value.
bool parse_depth(const char *header, int &depth);

// One resource of an answer.
struct dav_resource {
    std::string href;  // percent-encoded path; a folder's ends in "/"
    std::string name;  // the displayname
    bool folder = false;
    int64_t size = -1;  // a file's length, -1 when unknown
    uint64_t tag = 0;   // what its entity tag is made of
};

// Appends the 207 Multi-Status document for resources, answering request:
// every live property a resource has (allprop), their names (propname), or
// the ones asked for, those it lacks in a 404 propstat.
void write_multistatus(const std::vector<dav_resource> &resources, const propfind &request,
                       std::string &out);

// The 403 body for a PROPFIND with Depth infinity.
extern const char DAV_FINITE_DEPTH[];

// The content type of a file by its name's extension.
const char *content_type_of(const std::string &name);

// The entity tag ("..." included) of a tag value.
std::string etag_of(uint64_t tag);

// The date every resource reports as its last change: the service tells
// plix no time for its files, and a time that never moves keeps clients'
// caches and libraries from seeing changes that did not happen.
extern const char DAV_LAST_MODIFIED[];

// text escaped for XML character data and attribute values.
void xml_escape(const std::string &text, std::string &out);
