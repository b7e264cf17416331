#include "catalog.h"

#include <algorithm>
#include <map>

#include "host_text.h"
#include "media_names.h"
#include "naming.h"
#include "plix.h"

namespace {

// FNV-1a over the texts that make an entry what it is.
uint64_t tag_of(std::initializer_list<std::string> parts) {
    uint64_t h = 14695981039346656037ull;
    for (const std::string &p : parts) {
        for (unsigned char c : p) h = (h ^ c) * 1099511628211ull;
        h = (h ^ 0xff) * 1099511628211ull;
    }
    return h;
}

entry file_entry(const std::string &name, const media_file &f, const file_list &listing) {
    entry e;
    e.name = name;
    e.size = f.size;
    e.tag = tag_of({f.id, std::to_string(f.size), f.link});
    e.file = &f;
    e.listing = &listing;
    return e;
}

entry folder_entry(const std::string &name, std::shared_ptr<const folder> child) {
    entry e;
    e.name = name;
    e.is_folder = true;
    e.tag = tag_of({name});
    e.child = std::move(child);
    return e;
}

// Makes the names of a folder's entries unique, keyed by what they stand for.
void unique(folder &f, const std::vector<std::string> &ids) {
    std::vector<std::string> names;
    std::vector<bool> folders;
    names.reserve(f.entries.size());
    for (const entry &e : f.entries) {
        names.push_back(e.name);
        folders.push_back(e.is_folder);
    }
    tell_apart(names, ids, folders);
    for (size_t i = 0; i < names.size(); ++i) f.entries[i].name = names[i];
    f.index();
}

// A folder being filled, its subfolders by name in the order first seen.
struct builder {
    folder here;
    std::vector<std::string> ids;
    std::map<std::string, size_t> sub_at;  // subfolder name -> place in subs
    std::vector<std::string> sub_names;
    std::vector<std::unique_ptr<builder>> subs;

    builder &sub(const std::string &name) {
        auto found = sub_at.find(name);
        if (found != sub_at.end()) return *subs[found->second];
        sub_at[name] = subs.size();
        sub_names.push_back(name);
        subs.push_back(std::make_unique<builder>());
        return *subs.back();
    }

    // The folder: its subfolders first, then its files in the listing's order.
    std::shared_ptr<const folder> make() {
        auto out = std::make_shared<folder>();
        std::vector<std::string> all;
        for (size_t i = 0; i < subs.size(); ++i) {
            out->entries.push_back(folder_entry(sub_names[i], subs[i]->make()));
            all.push_back("/" + sub_names[i]);
        }
        for (size_t i = 0; i < here.entries.size(); ++i) {
            out->entries.push_back(std::move(here.entries[i]));
            all.push_back(ids[i]);
        }
        unique(*out, all);
        return out;
    }
};

}  // namespace

const entry *folder::find(const std::string &name) const {
    auto at =
        std::lower_bound(by_name.begin(), by_name.end(), name,
                         [this](uint32_t i, const std::string &n) { return entries[i].name < n; });
    return at != by_name.end() && entries[*at].name == name ? &entries[*at] : nullptr;
}

void folder::index() {
    by_name.resize(entries.size());
    for (uint32_t i = 0; i < by_name.size(); ++i) by_name[i] = i;
    std::sort(by_name.begin(), by_name.end(),
              [this](uint32_t a, uint32_t b) { return entries[a].name < entries[b].name; });
}

std::shared_ptr<const folder> link_folder(const std::shared_ptr<const file_list> &links) {
    auto out = std::make_shared<folder>();
    std::vector<std::string> ids;
    if (links)
        for (const media_file &f : links->files) {
            out->entries.push_back(
                file_entry(safe_name(f.name.empty() ? f.id : f.name), f, *links));
            ids.push_back(f.id);
        }
    unique(*out, ids);
    return out;
}

std::shared_ptr<folder> torrent_folders(const std::shared_ptr<const torrent_list> &seedbox) {
    auto out = std::make_shared<folder>();
    std::vector<std::string> ids;
    if (seedbox)
        for (const torrent &t : seedbox->torrents) {
            std::string name = safe_name(t.name.empty() ? t.id : t.name);
            if (!torrent_ready(t.status)) name += " [" + status_words(t.status) + "]";
            entry e = folder_entry(name, nullptr);
            e.size = t.size;
            e.tag = tag_of({t.id, t.signature()});
            e.torrent_of = &t;
            out->entries.push_back(std::move(e));
            ids.push_back(t.id);
        }
    unique(*out, ids);
    return out;
}

std::shared_ptr<const folder> torrent_tree(const std::shared_ptr<const file_list> &files) {
    builder top;
    for (const media_file &f : files->files) {
        // The path inside the torrent: each folder a segment, the last the file.
        std::vector<std::string> parts;
        for (size_t at = 0; at <= f.name.size();) {
            size_t end = f.name.find_first_of("/\\", at);
            if (end == std::string::npos) end = f.name.size();
            if (end > at) parts.push_back(safe_name(f.name.substr(at, end - at)));
            at = end + 1;
        }
        if (parts.empty()) parts.push_back(safe_name(f.id));
        builder *b = &top;
        for (size_t i = 0; i + 1 < parts.size(); ++i) b = &b->sub(parts[i]);
        b->here.entries.push_back(file_entry(parts.back(), f, *files));
        b->ids.push_back(f.id);
    }
    auto tree = std::const_pointer_cast<folder>(top.make());
    tree->keep = files;
    return tree;
}

namespace {

// One video of the organised folders, with its subtitles.
struct placed {
    std::vector<entry> entries;  // the video, then its subtitles
    std::string id;              // the video's id
    int season = 0, number = 0;
};

struct show {
    std::string name;  // the least of the spellings seen, so it stays the same
    std::map<int, std::vector<placed>> seasons;
};

// The season folder of a show: episodes by number, then name, each followed
// by its subtitles.
std::shared_ptr<const folder> episodes(std::vector<placed> &eps) {
    std::sort(eps.begin(), eps.end(), [](const placed &a, const placed &b) {
        if (a.number != b.number) return a.number < b.number;
        return a.entries[0].name < b.entries[0].name;
    });
    auto out = std::make_shared<folder>();
    std::vector<std::string> ids;
    size_t count = 0;
    for (const placed &p : eps) count += p.entries.size();
    out->entries.reserve(count);
    ids.reserve(count);
    for (placed &p : eps)
        for (entry &e : p.entries) {
            ids.push_back(e.file->id);
            out->entries.push_back(std::move(e));
        }
    unique(*out, ids);
    return out;
}

// Places the videos of one listing (a torrent's files, or the downloader's
// links) into shows and movies.
void place_files(const file_list &listing, const std::string &torrent_name,
                 std::map<std::string, show> &shows, std::vector<placed> &movies,
                 std::vector<std::string> &movie_names) {
    const std::vector<media_file> &files = listing.files;
    std::vector<std::string> names;
    names.reserve(files.size());
    for (const media_file &f : files) names.push_back(f.name);
    std::vector<std::vector<subtitle_match>> subtitles = subtitles_of_all(names);
    for (size_t i = 0; i < files.size(); ++i) {
        const media_file &f = files[i];
        if (!is_video(f.name) || is_sample(f.name)) continue;
        // The name's last part after the torrent's folders ("/"): a name of
        // the service may hold a backslash of its own.
        size_t slash = f.name.rfind('/');
        std::string base = slash == std::string::npos ? f.name : f.name.substr(slash + 1);
        int season = 0, number = 0;
        bool found = plix_parse_season_episode(base.c_str(), &season, &number) != 0;
        release r = read_release(base, found, season, number, torrent_name);
        placed p;
        p.id = f.id;
        std::string video = safe_name(base);
        p.entries.push_back(file_entry(video, f, listing));
        std::map<std::string, int> per_language;
        for (const subtitle_match &m : subtitles[i]) {
            int nth = ++per_language[m.lang];
            p.entries.push_back(
                file_entry(safe_name(subtitle_beside(video, m.lang, files[m.index].name, nth)),
                           files[m.index], listing));
        }
        if (r.episode) {
            show &s = shows[r.key];
            if (s.name.empty() || r.show < s.name) s.name = r.show;
            p.season = r.season;
            p.number = r.number;
            for (entry &e : p.entries) {
                e.season = r.season;
                e.number = r.number;
            }
            s.seasons[r.season].push_back(std::move(p));
        } else {
            movie_names.push_back(safe_name(r.movie));
            movies.push_back(std::move(p));
        }
    }
}

}  // namespace

void organise(const account_view &view, folder &shows_out, folder &movies_out) {
    std::map<std::string, show> shows;
    std::vector<placed> movies;
    std::vector<std::string> movie_names;
    if (view.downloader) place_files(*view.downloader, "", shows, movies, movie_names);
    if (view.seedbox)
        for (const torrent &t : view.seedbox->torrents) {
            if (!torrent_ready(t.status)) continue;
            auto files = view.files.find(t.id);
            if (files == view.files.end() || !files->second) continue;
            place_files(*files->second, t.name, shows, movies, movie_names);
        }

    std::vector<std::string> show_ids;
    for (auto &s : shows) {
        auto seasons = std::make_shared<folder>();
        std::vector<std::string> ids;
        for (auto &season : s.second.seasons) {
            seasons->entries.push_back(
                folder_entry(season_folder(season.first), episodes(season.second)));
            ids.push_back(std::to_string(season.first));
        }
        unique(*seasons, ids);
        shows_out.entries.push_back(folder_entry(safe_name(s.second.name), seasons));
        show_ids.push_back(s.first);
    }
    unique(shows_out, show_ids);
    std::sort(shows_out.entries.begin(), shows_out.entries.end(),
              [](const entry &a, const entry &b) { return lower(a.name) < lower(b.name); });
    shows_out.index();

    std::vector<std::string> movie_ids;
    for (size_t i = 0; i < movies.size(); ++i) {
        auto dir = std::make_shared<folder>();
        std::vector<std::string> ids;
        dir->entries.reserve(movies[i].entries.size());
        for (entry &e : movies[i].entries) {
            ids.push_back(e.file->id);
            dir->entries.push_back(std::move(e));
        }
        unique(*dir, ids);
        movies_out.entries.push_back(folder_entry(movie_names[i], dir));
        movie_ids.push_back(movies[i].id);
    }
    unique(movies_out, movie_ids);
    std::sort(movies_out.entries.begin(), movies_out.entries.end(),
              [](const entry &a, const entry &b) { return lower(a.name) < lower(b.name); });
    movies_out.index();
}

catalog::catalog(const account_view &view, files_lookup lookup)
    : view_(view), lookup_(std::move(lookup)), root_(std::make_shared<folder>()) {
    auto shows = std::make_shared<folder>();
    auto movies = std::make_shared<folder>();
    organise(view_, *shows, *movies);
    seedbox_ = torrent_folders(view_.seedbox);
    root_->entries.push_back(folder_entry("downloader", link_folder(view_.downloader)));
    root_->entries.push_back(folder_entry("seedbox", seedbox_));
    root_->entries.push_back(folder_entry("shows", shows));
    root_->entries.push_back(folder_entry("movies", movies));
    root_->index();
}

std::shared_ptr<const folder> catalog::torrent_folder(const entry &torrent_entry) const {
    const std::string &id = torrent_entry.torrent_of->id;
    std::shared_ptr<const file_list> files = lookup_ ? lookup_(id) : nullptr;
    if (!files) {
        auto known = view_.files.find(id);
        if (known != view_.files.end()) files = known->second;
    }
    if (!files) return nullptr;
    std::lock_guard<std::mutex> hold(made_mutex_);
    auto made = made_.find(files.get());
    if (made != made_.end()) return made->second;
    auto tree = torrent_tree(files);
    made_[files.get()] = tree;
    return tree;
}

place catalog::resolve(const std::vector<std::string> &segments) const {
    place p;
    p.organised = !segments.empty() && (segments[0] == "shows" || segments[0] == "movies");
    std::shared_ptr<const folder> dir = root_;
    const entry *item = nullptr;
    for (size_t i = 0; i < segments.size(); ++i) {
        const entry *e = dir->find(segments[i]);
        if (!e) return p;
        if (!e->is_folder) {
            if (i + 1 != segments.size()) return p;
            p.what = place::at_file;
            p.item = e;
            p.dir = dir;
            return p;
        }
        std::shared_ptr<const folder> next = e->child;
        if (!next && e->torrent_of) {
            next = torrent_folder(*e);
            if (!next) {
                p.what = place::pending;
                p.torrent_id = e->torrent_of->id;
                return p;
            }
        }
        if (!next) return p;
        dir = next;
        item = e;
    }
    p.what = place::at_folder;
    p.dir = dir;
    p.item = item;
    return p;
}
