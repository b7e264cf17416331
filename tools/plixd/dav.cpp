#include "dav.h"

#include <expat.h>
#include <stdio.h>
#include <string.h>

#include "media_names.h"

const char DAV_FINITE_DEPTH[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<d:error xmlns:d=\"DAV:\"><d:propfind-finite-depth/></d:error>\n";

const char DAV_LAST_MODIFIED[] = "Thu, 01 Jan 2026 00:00:00 GMT";

namespace {

constexpr char kDav[] = "DAV:";

// What the reader has seen so far of a PROPFIND body.
struct reading {
    XML_Parser parser;
    int depth = 0;
    bool ok = true;
    bool has_kind = false;
    bool in_prop = false;
    propfind *out;
};

// An element's namespace and local name, from expat's "ns name" form.
prop_name split(const XML_Char *name) {
    const char *space = strchr(name, ' ');
    if (!space) return {"", name};
    return {std::string(name, static_cast<size_t>(space - name)), space + 1};
}

void refuse(reading *r) {
    r->ok = false;
    XML_StopParser(r->parser, XML_FALSE);
}

void XMLCALL on_start(void *data, const XML_Char *name, const XML_Char **) {
    auto *r = static_cast<reading *>(data);
    prop_name n = split(name);
    ++r->depth;
    if (r->depth == 1) {
        if (n.ns != kDav || n.name != "propfind") refuse(r);
    } else if (r->depth == 2) {
        if (n.ns != kDav) return;  // other elements are left alone
        if (n.name == "include") return;
        if (n.name != "allprop" && n.name != "propname" && n.name != "prop") return;
        if (r->has_kind) return refuse(r);  // one of them, once
        r->has_kind = true;
        r->out->what = n.name == "allprop"    ? propfind::allprop
                       : n.name == "propname" ? propfind::propname
                                              : propfind::prop;
        r->in_prop = n.name == "prop";
    } else if (r->depth == 3 && r->in_prop) {
        if (r->out->props.size() < 256) r->out->props.push_back(n);
    }
}

void XMLCALL on_end(void *data, const XML_Char *) {
    auto *r = static_cast<reading *>(data);
    if (r->depth == 2) r->in_prop = false;
    --r->depth;
}

void XMLCALL on_doctype(void *data, const XML_Char *, const XML_Char *, const XML_Char *, int) {
    refuse(static_cast<reading *>(data));
}

bool blank(const char *body, size_t length) {
    for (size_t i = 0; i < length; ++i)
        if (body[i] != ' ' && body[i] != '\t' && body[i] != '\r' && body[i] != '\n') return false;
    return true;
}

// The live properties plixd has, in the order they are written.
constexpr const char *kLive[] = {"displayname",    "resourcetype",    "getcontentlength",
                                 "getcontenttype", "getlastmodified", "getetag"};

// Whether a resource has the live property name.
bool has(const dav_resource &r, const std::string &name) {
    if (name == "getcontentlength") return !r.folder && r.size >= 0;
    if (name == "getcontenttype") return !r.folder;
    for (const char *p : kLive)
        if (name == p) return true;
    return false;
}

// Appends the live property name of r, as an element of the DAV: namespace.
void write_prop(const dav_resource &r, const std::string &name, std::string &out) {
    out += "<d:" + name + ">";
    if (name == "displayname") {
        xml_escape(r.name, out);
    } else if (name == "resourcetype") {
        if (r.folder) out += "<d:collection/>";
    } else if (name == "getcontentlength") {
        out += std::to_string(r.size);
    } else if (name == "getcontenttype") {
        out += content_type_of(r.name);
    } else if (name == "getlastmodified") {
        out += DAV_LAST_MODIFIED;
    } else if (name == "getetag") {
        xml_escape(etag_of(r.tag), out);
    }
    out += "</d:" + name + ">";
}

// An element with no content for a property of any namespace (of none:
// a prefix cannot be bound to no namespace, so it undeclares the default).
void write_empty(const prop_name &p, std::string &out) {
    if (p.ns == kDav) {
        out += "<d:" + p.name + "/>";
        return;
    }
    if (p.ns.empty()) {
        out += "<" + p.name + " xmlns=\"\"/>";
        return;
    }
    out += "<x:" + p.name + " xmlns:x=\"";
    xml_escape(p.ns, out);
    out += "\"/>";
}

void propstat(const std::string &props, const char *status, std::string &out) {
    out += "<d:propstat><d:prop>" + props + "</d:prop><d:status>HTTP/1.1 ";
    out += status;
    out += "</d:status></d:propstat>";
}

}  // namespace

bool parse_propfind(const char *body, size_t length, propfind &out) {
    out = propfind{};
    if (!body || !length || blank(body, length)) return true;
    if (length > DAV_BODY_MAX) return false;
    XML_Parser parser = XML_ParserCreateNS(nullptr, ' ');
    if (!parser) return false;
    reading r{parser, 0, true, false, false, &out};
    XML_SetUserData(parser, &r);
    XML_SetElementHandler(parser, on_start, on_end);
    XML_SetStartDoctypeDeclHandler(parser, on_doctype);
    XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);
    bool parsed = XML_Parse(parser, body, static_cast<int>(length), XML_TRUE) == XML_STATUS_OK;
    XML_ParserFree(parser);
    if (!parsed || !r.ok) {
        out = propfind{};
        return false;
    }
    if (!r.has_kind) out.what = propfind::allprop;  // <propfind/> alone, or only extensions
    return true;
}

bool parse_depth(const char *header, int &depth) {
    if (!header || strcmp(header, "infinity") == 0) {
        depth = -1;
        return true;
    }
    if (strcmp(header, "0") == 0 || strcmp(header, "1") == 0) {
        depth = header[0] - '0';
        return true;
    }
    return false;
}

void write_multistatus(const std::vector<dav_resource> &resources, const propfind &request,
                       std::string &out) {
    out += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<d:multistatus xmlns:d=\"DAV:\">\n";
    std::string found, missing;
    for (const dav_resource &r : resources) {
        out += "<d:response><d:href>";
        xml_escape(r.href, out);
        out += "</d:href>";
        found.clear();
        missing.clear();
        if (request.what == propfind::prop) {
            for (const prop_name &p : request.props) {
                if (p.ns == kDav && has(r, p.name))
                    write_prop(r, p.name, found);
                else
                    write_empty(p, missing);
            }
        } else {
            for (const char *p : kLive) {
                if (!has(r, p)) continue;
                if (request.what == propfind::allprop)
                    write_prop(r, p, found);
                else
                    write_empty({kDav, p}, found);
            }
        }
        if (!found.empty() || missing.empty()) propstat(found, "200 OK", out);
        if (!missing.empty()) propstat(missing, "404 Not Found", out);
        out += "</d:response>\n";
    }
    out += "</d:multistatus>\n";
}

const char *content_type_of(const std::string &name) {
    static const struct {
        const char *ext, *type;
    } kTypes[] = {
        {"mkv", "video/x-matroska"},
        {"mp4", "video/mp4"},
        {"m4v", "video/x-m4v"},
        {"avi", "video/x-msvideo"},
        {"mov", "video/quicktime"},
        {"wmv", "video/x-ms-wmv"},
        {"webm", "video/webm"},
        {"mpg", "video/mpeg"},
        {"mpeg", "video/mpeg"},
        {"ts", "video/mp2t"},
        {"m2ts", "video/mp2t"},
        {"ogv", "video/ogg"},
        {"mp3", "audio/mpeg"},
        {"flac", "audio/flac"},
        {"wav", "audio/wav"},
        {"ogg", "audio/ogg"},
        {"opus", "audio/opus"},
        {"m4a", "audio/mp4"},
        {"aac", "audio/aac"},
        {"mka", "audio/x-matroska"},
        {"srt", "application/x-subrip"},
        {"vtt", "text/vtt"},
        {"ass", "text/x-ssa"},
        {"ssa", "text/x-ssa"},
        {"sub", "text/plain"},
        {"nfo", "text/plain"},
        {"txt", "text/plain"},
        {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"},
        {"png", "image/png"},
        {"zip", "application/zip"},
        {"rar", "application/vnd.rar"},
        {"iso", "application/x-iso9660-image"},
    };
    std::string ext = extension_of(name);
    for (const auto &t : kTypes)
        if (ext == t.ext) return t.type;
    return "application/octet-stream";
}

std::string etag_of(uint64_t tag) {
    char text[24];
    snprintf(text, sizeof text, "\"%016llx\"", static_cast<unsigned long long>(tag));
    return text;
}

void xml_escape(const std::string &text, std::string &out) {
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += c;
        }
    }
}
