// plixd's rules that need no server: names made safe and told apart, the
// shows and movies of release names, the organised tree, paths, WebDAV
// requests and answers, tokens and password files.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "catalog.h"
#include "dav.h"
#include "naming.h"
#include "paths.h"
#include "plix.h"
#include "range.h"
#include "secrets.h"

namespace {

TEST(Naming, SafeNames) {
    struct row {
        std::string name, safe;
    } rows[] = {
        {"Film.2008.mkv", "Film.2008.mkv"},
        {"AC/DC - Live", "AC_DC - Live"},
        {"a\\b", "a_b"},
        {"tab\there\nline", "tab_here_line"},
        {"C1 \xc2\x85 control", "C1 _ control"},
        {"bad \xff utf-8", "bad \xEF\xBF\xBD utf-8"},
        {"Amélie.Été.東京.mp4", "Amélie.Été.東京.mp4"},
        {"..", "_"},
        {".", "_"},
        {".hidden", "_hidden"},
        {"trailing dots...", "trailing dots"},
        {"spaces   ", "spaces"},
        {"", "_"},
        {"\"quotes\" & <tags>", "\"quotes\" & <tags>"},
    };
    for (const row &r : rows) EXPECT_EQ(safe_name(r.name), r.safe) << r.name;
    std::string longest = safe_name(std::string(300, 'x') + ".mkv");
    EXPECT_EQ(longest.size(), 240u);
    EXPECT_EQ(longest.substr(236), ".mkv");
    std::string wide;
    for (int i = 0; i < 120; ++i) wide += "東";  // three bytes each
    std::string cut = safe_name(wide);
    EXPECT_LE(cut.size(), 240u);
    EXPECT_EQ(cut.size() % 3, 0u);  // never half a character
}

TEST(Naming, TellApartTheSameWayEveryTime) {
    std::vector<std::string> names = {"Film.mkv", "film.MKV", "Other.mkv", "Film.mkv", "Dir"};
    std::vector<std::string> ids = {"b2", "c3", "x", "a1", "d"};
    std::vector<bool> folders = {false, false, false, false, true};
    std::vector<std::string> dirs = {"Dir", "Dir"};
    tell_apart(names, ids, folders);
    EXPECT_EQ(names, (std::vector<std::string>{"Film [b2].mkv", "film [c3].MKV", "Other.mkv",
                                               "Film.mkv", "Dir"}));
    std::vector<std::string> ids2 = {"t2", "t1"};
    tell_apart(dirs, ids2, {true, true});
    EXPECT_EQ(dirs, (std::vector<std::string>{"Dir [t2]", "Dir"}));
}

// What a release name becomes, with the season and episode plix finds in it.
TEST(Naming, ShowsAndMovies) {
    struct row {
        const char *file, *torrent, *show;  // show: "" for a movie
        int season, number;
        const char *movie;
    } rows[] = {
        {"Pioneer.One.S01E02.The.Man.from.Mars.mkv", "", "Pioneer One", 1, 2, ""},
        {"pioneer one s01e03.mkv", "", "pioneer one", 1, 3, ""},
        {"Doctor.Who.2005.S01E01.Rose.mkv", "", "Doctor Who (2005)", 1, 1, ""},
        {"Sherlock.Holmes.1954.S01E03.The.Case.mkv", "", "Sherlock Holmes (1954)", 1, 3, ""},
        {"The.Office.US.S02E01E02.mkv", "", "The Office US", 2, 1, ""},
        {"[SubGroup] Show Name - 01 [1080p].mkv", "", "Show Name", 1, 1, ""},
        {"Show.1x05.mkv", "", "Show", 1, 5, ""},
        {"ShowS03E04.mkv", "", "Show", 3, 4, ""},
        {"E01.mkv", "Pioneer.One.S01.1080p.WEB", "Pioneer One", 1, 1, ""},
        {"Metropolis.1927.Restored.1080p.BluRay.mkv", "", "", 0, 0, "Metropolis (1927)"},
        {"The Matrix (1999) 1080p.mkv", "", "", 0, 0, "The Matrix (1999)"},
        {"1917.2019.2160p.mkv", "", "", 0, 0, "1917 (2019)"},
        {"Big.Buck.Bunny.mp4", "", "", 0, 0, "Big Buck Bunny"},
        {"Sintel.2010.2160p.WEB-DL.mkv", "", "", 0, 0, "Sintel (2010)"},
        {"Tears.of.Steel.1080p.WEB-DL.mkv", "", "", 0, 0, "Tears of Steel"},
        // A year the recogniser takes for an episode is a movie's.
        {"Movie 2019 1080p.mkv", "", "", 0, 0, "Movie (2019)"},
    };
    for (const row &r : rows) {
        int season = 0, number = 0;
        bool found = plix_parse_season_episode(r.file, &season, &number) != 0;
        release got = read_release(r.file, found, season, number, r.torrent);
        EXPECT_EQ(got.episode, r.show[0] != '\0') << r.file;
        if (got.episode) {
            EXPECT_EQ(got.show, r.show) << r.file;
            EXPECT_EQ(got.season, r.season) << r.file;
            EXPECT_EQ(got.number, r.number) << r.file;
        } else {
            EXPECT_EQ(got.movie, r.movie) << r.file;
        }
    }
    EXPECT_EQ(season_folder(1), "Season 01");
    EXPECT_EQ(season_folder(12), "Season 12");
    EXPECT_TRUE(is_sample("Film.2008.Sample.mkv"));
    EXPECT_TRUE(is_sample("Sample/film.mkv"));
    EXPECT_FALSE(is_sample("Samples.of.Life.mkv"));
    EXPECT_EQ(subtitle_beside("Show.S01E01.mkv", "en", "Subs/x.SRT", 1), "Show.S01E01.en.srt");
    EXPECT_EQ(subtitle_beside("Show.S01E01.mkv", "en", "y.srt", 2), "Show.S01E01.en.2.srt");
    EXPECT_EQ(subtitle_beside("Film.mkv", "", "z.ass", 1), "Film.ass");
}

media_file file(const std::string &id, const std::string &name) {
    return media_file{id, name, "https://cdn.example/" + id, 1000};
}

std::vector<std::string> names_of(const folder &f) {
    std::vector<std::string> out;
    for (const entry &e : f.entries) out.push_back(e.name + (e.is_folder ? "/" : ""));
    return out;
}

const folder &child(const folder &f, const std::string &name) {
    const entry *e = f.find(name);
    static const folder none;
    if (!e || !e->child) {
        ADD_FAILURE() << "no folder " << name;
        return none;
    }
    return *e->child;
}

TEST(Catalog, OrganisedTree) {
    account_view view;
    auto links = std::make_shared<file_list>();
    links->files = {file("d1", "Pioneer.One.S01E03.mkv"), file("d2", "Charade.1963.1080p.mkv"),
                    file("d3", "notes.nfo")};
    view.downloader = links;
    auto seedbox = std::make_shared<torrent_list>();
    seedbox->torrents = {torrent{"t1", "Pioneer.One.S01", 9000, 100},
                         torrent{"t2", "Sintel.2010", 9000, 4},
                         torrent{"t3", "Metropolis.1927", 9000, 8}};
    view.seedbox = seedbox;
    auto t1 = std::make_shared<file_list>();
    t1->files = {file("t1-0", "Pioneer.One.S01E10.mkv"),
                 file("t1-1", "Pioneer.One.S01E01.mkv"),
                 file("t1-2", "Subs/Pioneer.One.S01E01.en.srt"),
                 file("t1-3", "Pioneer.One.S01E01.fr.srt"),
                 file("t1-4", "sample.mkv"),
                 file("t1-5", "Pioneer.One.S01.nfo"),
                 file("t1-6", "Pioneer.One.S01E10.srt")};
    auto t2 = std::make_shared<file_list>();
    t2->files = {file("t2-0", "Sintel.mkv")};
    auto t3 = std::make_shared<file_list>();
    t3->files = {file("t3-0", "Metropolis.1927.mkv"), file("t3-1", "Metropolis.1927.mkv"),
                 file("t3-2", "cover.jpg")};
    view.files = {{"t1", t1}, {"t2", t2}, {"t3", t3}};
    catalog cat(view, nullptr);

    place root = cat.resolve({});
    ASSERT_EQ(root.what, place::at_folder);
    EXPECT_EQ(names_of(*root.dir),
              (std::vector<std::string>{"downloader/", "seedbox/", "shows/", "movies/"}));
    const folder &shows = child(*root.dir, "shows");
    EXPECT_EQ(names_of(shows), (std::vector<std::string>{"Pioneer One/"}));
    // One season folder holds the torrent's episodes and the link's, in
    // episode order, each subtitle beside its video, named after it.
    const folder &season = child(child(shows, "Pioneer One"), "Season 01");
    EXPECT_EQ(names_of(season),
              (std::vector<std::string>{"Pioneer.One.S01E01.mkv", "Pioneer.One.S01E01.en.srt",
                                        "Pioneer.One.S01E01.fr.srt", "Pioneer.One.S01E03.mkv",
                                        "Pioneer.One.S01E10.mkv", "Pioneer.One.S01E10.srt"}));
    // Not-ready torrents stay out; samples, images and .nfo too; two
    // movies of one name are told apart.
    const folder &movies = child(*root.dir, "movies");
    EXPECT_EQ(names_of(movies), (std::vector<std::string>{"Charade (1963)/", "Metropolis (1927)/",
                                                          "Metropolis (1927) [t3-1]/"}));
    EXPECT_EQ(names_of(child(movies, "Metropolis (1927)")),
              (std::vector<std::string>{"Metropolis.1927.mkv"}));
    // The seedbox: every torrent, one not ready with its status.
    const folder &torrents = child(*root.dir, "seedbox");
    EXPECT_EQ(names_of(torrents),
              (std::vector<std::string>{"Pioneer.One.S01/", "Sintel.2010 [downloading]/",
                                        "Metropolis.1927/"}));
    place torrent = cat.resolve({"seedbox", "Pioneer.One.S01"});
    ASSERT_EQ(torrent.what, place::at_folder);
    EXPECT_EQ(names_of(*torrent.dir),
              (std::vector<std::string>{"Subs/", "Pioneer.One.S01E10.mkv", "Pioneer.One.S01E01.mkv",
                                        "Pioneer.One.S01E01.fr.srt", "sample.mkv",
                                        "Pioneer.One.S01.nfo", "Pioneer.One.S01E10.srt"}));
    place sub = cat.resolve({"seedbox", "Pioneer.One.S01", "Subs", "Pioneer.One.S01E01.en.srt"});
    ASSERT_EQ(sub.what, place::at_file);
    EXPECT_EQ(sub.item->file->id, "t1-2");
    EXPECT_EQ(cat.resolve({"seedbox", "Nope"}).what, place::none);
    EXPECT_EQ(cat.resolve({"downloader", "notes.nfo", "deeper"}).what, place::none);
    place link = cat.resolve({"downloader", "Charade.1963.1080p.mkv"});
    ASSERT_EQ(link.what, place::at_file);
    EXPECT_EQ(link.item->file->link, "https://cdn.example/d2");
}

TEST(Catalog, TorrentFilesListedLater) {
    account_view view;
    auto seedbox = std::make_shared<torrent_list>();
    seedbox->torrents = {torrent{"t1", "Show", 1, 100}};
    view.seedbox = seedbox;
    std::shared_ptr<const file_list> later;
    catalog cat(view, [&](const std::string &) { return later; });
    place pending = cat.resolve({"seedbox", "Show", "a.mkv"});
    EXPECT_EQ(pending.what, place::pending);
    EXPECT_EQ(pending.torrent_id, "t1");
    auto files = std::make_shared<file_list>();
    files->files = {file("t1-0", "a.mkv")};
    later = files;
    EXPECT_EQ(cat.resolve({"seedbox", "Show", "a.mkv"}).what, place::at_file);
}

TEST(Paths, Segments) {
    struct row {
        const char *path;
        bool ok;
        std::vector<std::string> segments;
        bool slash;
    } rows[] = {
        {"/", true, {}, false},
        {"/seedbox/", true, {"seedbox"}, true},
        {"/seedbox/A%20B/x.mkv", true, {"seedbox", "A B", "x.mkv"}, false},
        {"//seedbox//a", true, {"seedbox", "a"}, false},
        {"/%E6%9D%B1%E4%BA%AC", true, {"東京"}, false},
        {"/a%2Fb", true, {"a/b"}, false},
        {"/100%25", true, {"100%"}, false},
        {"/../etc/passwd", false, {}, false},
        {"/seedbox/..", false, {}, false},
        {"/seedbox/%2e%2e/x", false, {}, false},
        {"/seedbox/%2E%2e", false, {}, false},
        {"/./x", false, {}, false},
        {"/%2e/x", false, {}, false},
        {"/a%00b", false, {}, false},
        {"/a%zz", false, {}, false},
        {"/a%4", false, {}, false},
        {"relative", false, {}, false},
        {"", false, {}, false},
        {"/...", true, {"..."}, false},
    };
    for (const row &r : rows) {
        std::vector<std::string> got;
        bool slash = false;
        EXPECT_EQ(split_path(r.path, got, slash), r.ok) << r.path;
        if (!r.ok) continue;
        EXPECT_EQ(got, r.segments) << r.path;
        EXPECT_EQ(slash, r.slash) << r.path;
    }
    EXPECT_EQ(href_of({"seedbox", "A B", "東"}, true), "/seedbox/A%20B/%E6%9D%B1/");
    EXPECT_EQ(href_of({"a&b", "c?d#e"}, false), "/a%26b/c%3Fd%23e");
    EXPECT_EQ(href_of({}, true), "/");
}

TEST(Dav, PropfindBodies) {
    struct row {
        const char *body;
        bool ok;
        propfind::kind what;
        size_t props;
    } rows[] = {
        {"", true, propfind::allprop, 0},
        {"  \r\n", true, propfind::allprop, 0},
        {"<?xml version=\"1.0\"?><propfind xmlns=\"DAV:\"><allprop/></propfind>", true,
         propfind::allprop, 0},
        {"<d:propfind xmlns:d=\"DAV:\"><d:propname/></d:propfind>", true, propfind::propname, 0},
        {"<D:propfind xmlns:D=\"DAV:\"><D:prop><D:getcontentlength/><D:displayname/>"
         "<x:color xmlns:x=\"urn:x\"/></D:prop></D:propfind>",
         true, propfind::prop, 3},
        {"<propfind xmlns=\"DAV:\"/>", true, propfind::allprop, 0},
        {"<propfind xmlns=\"DAV:\"><allprop/><include><x/></include></propfind>", true,
         propfind::allprop, 0},
        {"<propfind xmlns=\"DAV:\"><allprop/><propname/></propfind>", false, propfind::allprop, 0},
        {"<propfind><allprop/></propfind>", false, propfind::allprop, 0},  // not DAV:
        {"<d:other xmlns:d=\"DAV:\"/>", false, propfind::allprop, 0},
        {"<propfind xmlns=\"DAV:\"><allprop>", false, propfind::allprop, 0},
        {"not xml", false, propfind::allprop, 0},
        {"<!DOCTYPE lolz [<!ENTITY lol \"lol\">]><propfind xmlns=\"DAV:\"><prop>&lol;</prop>"
         "</propfind>",
         false, propfind::allprop, 0},
        {"<propfind xmlns=\"DAV:\"><allprop/></propfind><second/>", false, propfind::allprop, 0},
    };
    for (const row &r : rows) {
        propfind got;
        EXPECT_EQ(parse_propfind(r.body, strlen(r.body), got), r.ok) << r.body;
        if (!r.ok) continue;
        EXPECT_EQ(got.what, r.what) << r.body;
        EXPECT_EQ(got.props.size(), r.props) << r.body;
    }
    std::string big(DAV_BODY_MAX + 1, ' ');
    big[0] = '<';
    propfind got;
    EXPECT_FALSE(parse_propfind(big.data(), big.size(), got));
    struct depth {
        const char *header;
        bool ok;
        int value;
    } depths[] = {{nullptr, true, -1}, {"infinity", true, -1}, {"0", true, 0}, {"1", true, 1},
                  {"2", false, 0},     {"01", false, 0},       {"", false, 0}};
    for (const depth &d : depths) {
        int v = 7;
        EXPECT_EQ(parse_depth(d.header, v), d.ok) << (d.header ? d.header : "none");
        if (d.ok) {
            EXPECT_EQ(v, d.value);
        }
    }
}

TEST(Dav, MultiStatus) {
    dav_resource dir{"/seedbox/", "seedbox", true, -1, 1};
    dav_resource f{"/seedbox/a%26b.mkv", "a&b <1>.mkv", false, 1234, 2};
    std::string all;
    write_multistatus({dir, f}, propfind{}, all);
    EXPECT_NE(all.find("<d:href>/seedbox/</d:href>"), std::string::npos);
    EXPECT_NE(all.find("<d:resourcetype><d:collection/></d:resourcetype>"), std::string::npos);
    EXPECT_NE(all.find("<d:displayname>a&amp;b &lt;1&gt;.mkv</d:displayname>"), std::string::npos);
    EXPECT_NE(all.find("<d:getcontentlength>1234</d:getcontentlength>"), std::string::npos);
    EXPECT_NE(all.find("<d:getcontenttype>video/x-matroska</d:getcontenttype>"), std::string::npos);
    EXPECT_NE(all.find("<d:getetag>&quot;0000000000000002&quot;</d:getetag>"), std::string::npos);
    EXPECT_EQ(all.find("404"), std::string::npos);
    // Named properties: those a resource lacks come back in a 404 propstat.
    propfind named;
    named.what = propfind::prop;
    named.props = {{"DAV:", "getcontentlength"}, {"urn:x", "color"}};
    std::string some;
    write_multistatus({dir}, named, some);
    EXPECT_NE(some.find("<d:propstat><d:prop><d:getcontentlength/><x:color xmlns:x=\"urn:x\"/>"
                        "</d:prop><d:status>HTTP/1.1 404 Not Found</d:status></d:propstat>"),
              std::string::npos);
    propfind names;
    names.what = propfind::propname;
    std::string listed;
    write_multistatus({f}, names, listed);
    EXPECT_NE(listed.find("<d:getcontentlength/>"), std::string::npos);
    EXPECT_EQ(listed.find("1234"), std::string::npos);
}

TEST(Ranges, OneRangeOfBytes) {
    struct row {
        const char *header;
        int64_t size;
        byte_range::kind what;
        uint64_t first, last;
    } rows[] = {
        {nullptr, 100, byte_range::whole, 0, 0},
        {"bytes=0-9", 100, byte_range::part, 0, 9},
        {"bytes=90-", 100, byte_range::part, 90, 99},
        {"bytes=90-500", 100, byte_range::part, 90, 99},
        {"bytes=-10", 100, byte_range::part, 90, 99},
        {"bytes=-500", 100, byte_range::part, 0, 99},
        {"bytes=100-", 100, byte_range::unsatisfiable, 0, 0},
        {"bytes=-0", 100, byte_range::unsatisfiable, 0, 0},
        {"bytes=0-0", 0, byte_range::unsatisfiable, 0, 0},
        {"bytes=9-0", 100, byte_range::whole, 0, 0},  // not a range: the whole file
        {"bytes=0-1,5-6", 100, byte_range::whole, 0, 0},
        {"bytes=a-b", 100, byte_range::whole, 0, 0},
        {"items=0-9", 100, byte_range::whole, 0, 0},
        {"bytes=99999999999999999999-", 100, byte_range::whole, 0, 0},
        {"bytes=0-9", -1, byte_range::whole, 0, 0},  // a size not known
    };
    for (const row &r : rows) {
        byte_range got = parse_range(r.header, r.size);
        EXPECT_EQ(got.what, r.what) << (r.header ? r.header : "none");
        if (got.what == byte_range::part) {
            EXPECT_EQ(got.first, r.first) << r.header;
            EXPECT_EQ(got.last, r.last) << r.header;
        }
    }
}

TEST(Secrets, Tokens) {
    token_keeper keeper("secret-key");
    std::string t = keeper.make("/shows/A/x.mkv", 2000);
    EXPECT_EQ(t.size(), 48u);
    EXPECT_TRUE(keeper.check(t, "/shows/A/x.mkv", 1999));
    EXPECT_FALSE(keeper.check(t, "/shows/A/x.mkv", 2000));  // expired
    EXPECT_FALSE(keeper.check(t, "/shows/A/y.mkv", 1000));  // another file
    EXPECT_FALSE(token_keeper("other").check(t, "/shows/A/x.mkv", 1000));
    std::string forged = t;
    forged[0] = forged[0] == 'f' ? 'e' : 'f';  // a later expiry
    EXPECT_FALSE(keeper.check(forged, "/shows/A/x.mkv", 1000));
    EXPECT_FALSE(keeper.check("", "/shows/A/x.mkv", 1000));
    EXPECT_FALSE(keeper.check(t.substr(0, 47) + "g", "/shows/A/x.mkv", 1000));
}

TEST(Secrets, PasswordFiles) {
    user_list users("k");
    std::string error;
    // "plix" under SHA-512 crypt and bcrypt, as openssl passwd -6 and htpasswd -B write them.
    std::string sha =
        "$6$saltsalt$OnQQXfNq7lAklQ5GS0Qb09DEHbWsDE81eH9yo00R5YW51n9ptC."
        "SoliDX7r1VQ3b73KOnl4eVZ5ihL0Pj8WCB1";
    ASSERT_TRUE(users.load_text("# users\nana:" + sha + "\n\n", error)) << error;
    EXPECT_TRUE(users.check("ana", "plix"));
    EXPECT_TRUE(users.check("ana", "plix"));  // remembered
    EXPECT_FALSE(users.check("ana", "plix "));
    EXPECT_FALSE(users.check("bob", "plix"));
    for (const char *bad :
         {"", "# only\n", "ana\n", "ana:plain\n", ":$6$x$y\n", "ana:$apr1$x$y\n"}) {
        EXPECT_FALSE(users.load_text(bad, error)) << bad;
        EXPECT_EQ(error.find("$"), std::string::npos) << error;  // no hash repeated
    }
    EXPECT_TRUE(same_in_constant_time("abc", "abc"));
    EXPECT_FALSE(same_in_constant_time("abc", "abd"));
    EXPECT_FALSE(same_in_constant_time("abc", "abcd"));
}

}  // namespace
