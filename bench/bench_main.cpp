// plix benchmarks: every case runs the plug-in through its flat exports,
// its two floors (yyjson's strict reader over the same texts, B1, and that
// followed by yyjson's compact writer over the whole parsed documents, B2)
// and the yyjson baseline that writes the same answer, all in the same
// process and run. The run ends with a table of their ratios and of the
// peak heap of the large listings. Before anything is timed, each case's
// plug-in and baseline answers are compared byte for byte, so the baseline
// provably writes the same document.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
#endif

#include "bench_baseline.h"
#include "bench_bodies.h"
#include "bench_heap.h"
#include "plix.h"
#include "plix_fake.h"

namespace {

// ------------------------------------------------------------------ inputs

struct inputs {
    std::string key, big_key;
    std::string settings, big_listing_settings, mib_settings;
    std::string rows50, rows65536, torrents10000, files65536, infos;
    std::string torrent_id;
    std::string magnet, request, added;
    std::string entry;
    std::string url2k;
    std::vector<std::string> names;
};

inputs *g_in;

// The caller's buffer of the plug-in calls: large enough for every answer.
constexpr int kOutSize = 64 << 20;
char *g_out;

std::string route(const char *path, const std::string &key) {
    return std::string(bodies::kBase) + path + (strchr(path, '?') ? "&" : "?") +
           "apikey=" + bodies::pct(key);
}

void make_inputs() {
    auto *in = new inputs;
    in->key = bodies::api_key(1);
    in->big_key = bodies::api_key(2);
    in->settings = bodies::settings(in->key, "account-1");
    in->big_listing_settings = bodies::settings(in->big_key, "account-2");
    in->mib_settings = bodies::big_settings(in->key, "account-1", 1 << 20);
    in->rows50 = bodies::downloader_list(50, 50);
    in->rows65536 = bodies::downloader_list(65536, 65536);
    in->torrents10000 = bodies::seedbox_list(10000, 10000);
    in->torrent_id = "7f3a19c0d2e4";
    in->files65536 = bodies::torrent_files(in->torrent_id, 65536, 3);
    in->infos = bodies::account_infos();
    in->magnet = bodies::magnet(5);
    in->request = "{\"Link\":\"" + in->magnet + "\"}";
    in->added = bodies::magnet_added(in->magnet, 6);
    in->entry = bodies::listing_entry(8);
    in->url2k = bodies::long_url(in->key, 2048);
    in->names = bodies::release_names(10000, 9);
    g_in = in;

    plix_use_fake();
    plix_fake_reset();
    plix_allow_writes(1);
    plix_fake_set("GET", route("/account/infos", in->key).c_str(), 200, in->infos.c_str());
    plix_fake_set(
        "POST",
        route(("/downloader/add?url=" + bodies::pct(in->magnet) + "&password=").c_str(), in->key)
            .c_str(),
        200, in->added.c_str());
    plix_fake_set("GET", route("/downloader/list?page=0&perPage=50", in->key).c_str(), 200,
                  in->rows50.c_str());
    plix_fake_set("GET", route("/downloader/list?page=0&perPage=50", in->big_key).c_str(), 200,
                  in->rows65536.c_str());
    plix_fake_set("GET", route("/seedbox/list?page=-1&perPage=-1", in->key).c_str(), 200,
                  in->torrents10000.c_str());
    plix_fake_set("GET", route(("/seedbox/list?ids=" + in->torrent_id).c_str(), in->key).c_str(),
                  200, in->files65536.c_str());
}

baseline::text as_text(const std::string &s) { return {s.data(), s.size()}; }

// ------------------------------------------------------------------- cases

// One case: a plug-in call and its baseline. Cases without an answer to
// compare (the recogniser, redaction) leave check false.
struct bench_case {
    const char *id;     // benchmark name
    const char *label;  // table row
    std::function<int()> plugin;
    std::function<char *()> baseline;
    const std::string *body;  // the response body, for the heap ratio; null: none
    bool check = true;
    // The texts the floors read: the response body, and for the small cases
    // the host's texts too. Empty: the case has no floors.
    std::vector<baseline::text> floor = {};
};

std::vector<bench_case> make_cases() {
    const inputs &in = *g_in;
    std::vector<bench_case> c;
    auto listing = [](const std::string &settings, const char *folder) {
        return [&settings, folder] { return plix_list(settings.c_str(), folder, g_out, kOutSize); };
    };
    c.push_back(
        {"downloader_50", "downloader listing, 50 rows", listing(in.settings, "downloader"),
         [&] { return baseline::file_listing(as_text(in.rows50), as_text(in.settings), false); },
         &in.rows50});
    c.push_back({"downloader_65536", "downloader listing, 65 536 rows",
                 listing(in.big_listing_settings, "downloader"),
                 [&] {
                     return baseline::file_listing(as_text(in.rows65536),
                                                   as_text(in.big_listing_settings), false);
                 },
                 &in.rows65536});
    c.push_back({"seedbox_10000", "seedbox listing, 10 000 torrents",
                 listing(in.settings, "seedbox"),
                 [&] { return baseline::seedbox(as_text(in.torrents10000), as_text(in.settings)); },
                 &in.torrents10000});
    static const std::string folder = "s" + in.torrent_id;
    c.push_back(
        {"torrent_65536", "torrent folder, 65 536 files", listing(in.settings, folder.c_str()),
         [&] { return baseline::file_listing(as_text(in.files65536), as_text(in.settings), true); },
         &in.files65536});
    c.push_back({"validate", "validate",
                 [&] { return plix_validate(in.settings.c_str(), g_out, kOutSize); },
                 [&] { return baseline::validate(as_text(in.infos), as_text(in.settings)); },
                 nullptr});
    c.push_back(
        {"stream_url", "stream_url",
         [&] { return plix_stream_url(in.settings.c_str(), in.entry.c_str(), g_out, kOutSize); },
         [&] { return baseline::stream(as_text(in.entry), as_text(in.settings)); }, nullptr});
    c.push_back(
        {"download_magnet", "download of a magnet",
         [&] { return plix_download(in.settings.c_str(), in.request.c_str(), g_out, kOutSize); },
         [&] {
             return baseline::download(as_text(in.added), as_text(in.request),
                                       as_text(in.settings));
         },
         nullptr});
    c.push_back({"settings_1mib", "validate with 1 MiB of settings",
                 [&] { return plix_validate(in.mib_settings.c_str(), g_out, kOutSize); },
                 [&] { return baseline::validate(as_text(in.infos), as_text(in.mib_settings)); },
                 nullptr});
    c.push_back({"season_10000", "season recogniser, 10 000 names",
                 [&] {
                     int found = 0, s, e;
                     for (const std::string &n : in.names)
                         found += plix_parse_season_episode(n.c_str(), &s, &e);
                     benchmark::DoNotOptimize(found);
                     return 0;
                 },
                 [&]() -> char * {
                     int found = 0, s, e;
                     for (const std::string &n : in.names)
                         found += baseline::season_episode(n.c_str(), &s, &e);
                     benchmark::DoNotOptimize(found);
                     return nullptr;
                 },
                 nullptr, false});
    c.push_back({"redact_2kib", "plix_redact, 2 KiB URL",
                 [&] {
                     benchmark::DoNotOptimize(plix_redact(in.url2k.c_str()));
                     return 0;
                 },
                 [&]() -> char * {
                     static thread_local char out[2048];
                     baseline::copy_text(in.url2k.c_str(), out, sizeof out);
                     benchmark::DoNotOptimize(out);
                     return nullptr;
                 },
                 nullptr, false});
    auto floors = [&](const char *id, std::vector<baseline::text> texts) {
        for (bench_case &k : c)
            if (!strcmp(k.id, id)) k.floor = std::move(texts);
    };
    floors("downloader_50", {as_text(in.rows50), as_text(in.settings)});
    floors("downloader_65536", {as_text(in.rows65536)});
    floors("seedbox_10000", {as_text(in.torrents10000)});
    floors("torrent_65536", {as_text(in.files65536)});
    floors("validate", {as_text(in.infos), as_text(in.settings)});
    floors("stream_url", {as_text(in.entry), as_text(in.settings)});
    floors("download_magnet", {as_text(in.added), as_text(in.request), as_text(in.settings)});
    floors("settings_1mib", {as_text(in.infos), as_text(in.mib_settings)});
    return c;
}

// Compares the two answers of every case once, before anything is timed.
bool answers_match(const std::vector<bench_case> &cases) {
    bool all = true;
    plix_use_fake();
    for (const bench_case &c : cases) {
        if (!c.check) continue;
        int code = c.plugin();
        char *base = c.baseline();
        bool same = code == 0 && base && strcmp(base, g_out) == 0;
        if (!same) {
            fprintf(stderr, "%s: the plug-in (%d) and the baseline answer differently\n", c.id,
                    code);
            if (code != 0) fprintf(stderr, "  plug-in: %s\n", plix_last_error());
            all = false;
        }
        free(base);
    }
    return all;
}

// ------------------------------------------------------------- lock-free io

// A host transport without a lock: every thread gets its own copy of the
// account/infos answer, so two threads share nothing but the plug-in.
int lf_get(void *ctx, const char *, char **body, int *status, char **) {
    const std::string &infos = *static_cast<const std::string *>(ctx);
    *body = static_cast<char *>(malloc(infos.size() + 1));
    if (!*body) return 1;
    memcpy(*body, infos.c_str(), infos.size() + 1);
    *status = 200;
    return 0;
}

int lf_post(void *, const char *, const char *, const char *, char **, int *, char **) { return 1; }

void lf_free(void *, char *text) { free(text); }

// ----------------------------------------------------------------- timing

void run_plugin(benchmark::State &st, const bench_case *c) {
    plix_use_fake();
    for (auto _ : st) {
        int code = c->plugin();
        if (code != 0) {
            st.SkipWithError(plix_last_error());
            break;
        }
    }
}

void run_baseline(benchmark::State &st, const bench_case *c) {
    for (auto _ : st) {
        char *answer = c->baseline();
        benchmark::DoNotOptimize(answer);
        free(answer);
    }
}

void run_floor_read(benchmark::State &st, const bench_case *c) {
    for (auto _ : st)
        benchmark::DoNotOptimize(baseline::floor_read(c->floor.data(), c->floor.size()));
}

void run_floor_read_write(benchmark::State &st, const bench_case *c) {
    for (auto _ : st)
        benchmark::DoNotOptimize(baseline::floor_read_write(c->floor.data(), c->floor.size()));
}

void run_plugin_threads(benchmark::State &st) {
    static plix_io io;
    if (st.thread_index() == 0) {
        io = plix_io{&g_in->infos, lf_get, lf_post, lf_free};
        plix_set_io(&io);
    }
    static thread_local char out[4096];
    for (auto _ : st) {
        int code = plix_validate(g_in->settings.c_str(), out, sizeof out);
        if (code != 0) {
            st.SkipWithError("validate failed");
            break;
        }
    }
    st.SetItemsProcessed(st.iterations());
}

void run_baseline_threads(benchmark::State &st) {
    for (auto _ : st) {
        char *answer = baseline::validate(as_text(g_in->infos), as_text(g_in->settings));
        benchmark::DoNotOptimize(answer);
        free(answer);
    }
    st.SetItemsProcessed(st.iterations());
}

// ------------------------------------------------------------------- heap

struct heap_row {
    const char *id;
    double plugin, baseline;          // peak allocated heap over the body's size
    double plugin_rss, baseline_rss;  // peak resident growth over the body's size
};

std::vector<heap_row> measure_heap(const std::vector<bench_case> &cases) {
    std::vector<heap_row> rows;
    plix_use_fake();
    for (const bench_case &c : cases) {
        if (!c.body || c.body->size() < (1u << 20)) continue;
        double body = static_cast<double>(c.body->size());
        c.plugin();  // the thread's result channel then holds an answer, as in use
        heap_count_start();
        c.plugin();
        heap_peak p = heap_count_stop();
        heap_count_start();
        char *answer = c.baseline();
        heap_peak b = heap_count_stop();
        free(answer);
        resident_start();
        c.plugin();
        int64_t pr = resident_stop();
        free(c.baseline());
        resident_start();
        answer = c.baseline();
        int64_t br = resident_stop();
        free(answer);
        rows.push_back({c.id, static_cast<double>(p.peak) / body,
                        static_cast<double>(b.peak) / body, static_cast<double>(pr) / body,
                        static_cast<double>(br) / body});
        printf(
            "heap %-18s body %9zu B  plug-in peak %10lld B (%lld allocations)  baseline peak "
            "%10lld B (%lld allocations)\n",
            c.id, c.body->size(), static_cast<long long>(p.peak), static_cast<long long>(p.allocs),
            static_cast<long long>(b.peak), static_cast<long long>(b.allocs));
    }
    return rows;
}

// ------------------------------------------------------------------ table

// Keeps the median and the coefficient of variation of every benchmark (or
// the single run's figures without repetitions) while the console shows
// the usual report.
class table_reporter : public benchmark::ConsoleReporter {
  public:
    struct figure {
        double ns = 0;    // median real time per iteration
        double cpu = 0;   // median CPU time per iteration, all threads together
        double rate = 0;  // median items per second, when counted
        double cv = 0;    // coefficient of variation of the real time
    };
    std::map<std::string, figure> figures;

    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &r : runs) {
            std::string key = r.run_name.function_name;
            if (r.threads > 1 || key.find("threads") != std::string::npos)
                key += "/" + std::to_string(r.threads);
            figure &f = figures[key];
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "cv") {
                f.cv = r.real_accumulated_time;  // a fraction, not a time
                continue;
            }
            if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median") continue;
            double unit = r.time_unit == benchmark::kMillisecond   ? 1e6
                          : r.time_unit == benchmark::kMicrosecond ? 1e3
                          : r.time_unit == benchmark::kSecond      ? 1e9
                                                                   : 1;
            f.ns = r.GetAdjustedRealTime() * unit;
            f.cpu = r.GetAdjustedCPUTime() * unit;
            auto it = r.counters.find("items_per_second");
            if (it != r.counters.end()) f.rate = it->second;
        }
    }
};

std::string show_time(double ns) {
    char b[32];
    if (ns >= 1e6)
        snprintf(b, sizeof b, "%.2f ms", ns / 1e6);
    else if (ns >= 1e3)
        snprintf(b, sizeof b, "%.2f us", ns / 1e3);
    else
        snprintf(b, sizeof b, "%.0f ns", ns);
    return b;
}

std::string load_average() {
    char text[64] = "";
    if (FILE *f = fopen("/proc/loadavg", "r")) {
        if (!fgets(text, sizeof text, f)) text[0] = '\0';
        fclose(f);
    }
    std::string s = text;
    size_t third = s.find(' ', s.find(' ', s.find(' ') + 1) + 1);
    return third == std::string::npos ? "unknown" : s.substr(0, third);
}

std::string cpu_model() {
    FILE *f = fopen("/proc/cpuinfo", "r");
    if (!f) return "unknown";
    char line[512];
    std::string model = "unknown";
    while (fgets(line, sizeof line, f)) {
        if (strncmp(line, "model name", 10) != 0) continue;
        const char *v = strchr(line, ':');
        if (v) model = v + 2;
        model.erase(model.find_last_not_of("\n ") + 1);
        break;
    }
    fclose(f);
    return model;
}

void print_table(const table_reporter &rep, const std::vector<bench_case> &cases,
                 const std::vector<heap_row> &heap) {
    auto get = [&](const std::string &k) {
        auto it = rep.figures.find(k);
        return it == rep.figures.end() ? table_reporter::figure{} : it->second;
    };
    printf("\nplix benchmarks: %ld cores, %s; load average at the end %s\n",
           sysconf(_SC_NPROCESSORS_ONLN), cpu_model().c_str(), load_average().c_str());
    printf(
        "times are medians of the repetitions; noise is the larger coefficient of variation\n\n");
    printf("%-34s %10s %10s %10s %10s %7s %7s %7s %9s %8s %6s\n", "case", "plug-in", "B1", "B2",
           "baseline", "/B1", "/B2", "/base", "heap/body", "rss/body", "noise");
    auto ratio = [](double a, double b) {
        char t[16] = "";
        if (a > 0 && b > 0) snprintf(t, sizeof t, "%.2fx", a / b);
        return std::string(t);
    };
    for (const bench_case &c : cases) {
        table_reporter::figure p = get(std::string("plugin/") + c.id);
        table_reporter::figure f1 = get(std::string("floor1/") + c.id);
        table_reporter::figure f2 = get(std::string("floor2/") + c.id);
        table_reporter::figure b = get(std::string("baseline/") + c.id);
        char h[32] = "", rss[32] = "";
        for (const heap_row &r : heap)
            if (!strcmp(r.id, c.id)) {
                snprintf(h, sizeof h, "%.2fx", r.plugin);
                snprintf(rss, sizeof rss, "%.2fx", r.plugin_rss);
            }
        double noise = std::max({p.cv, b.cv, f1.cv, f2.cv});
        printf("%-34s %10s %10s %10s %10s %7s %7s %7s %9s %8s %5.1f%%\n", c.label,
               show_time(p.ns).c_str(), f1.ns > 0 ? show_time(f1.ns).c_str() : "",
               f2.ns > 0 ? show_time(f2.ns).c_str() : "", show_time(b.ns).c_str(),
               ratio(p.ns, f1.ns).c_str(), ratio(p.ns, f2.ns).c_str(), ratio(p.ns, b.ns).c_str(), h,
               rss, 100 * noise);
    }
    table_reporter::figure p1 = get("plugin/validate_threads/1");
    table_reporter::figure p2 = get("plugin/validate_threads/2");
    table_reporter::figure b1 = get("baseline/validate_threads/1");
    table_reporter::figure b2 = get("baseline/validate_threads/2");
    auto per_call = [](const table_reporter::figure &f) { return f.rate > 0 ? 1e9 / f.rate : 0; };
    const char *labels[] = {"validate, lock-free io, 1 thread",
                            "validate, lock-free io, 2 threads"};
    const table_reporter::figure *pf[] = {&p1, &p2}, *bf[] = {&b1, &b2};
    for (int i = 0; i < 2; ++i)
        printf("%-34s %10s %10s %10s %10s %7s %7s %7s %9s %8s %5.1f%%\n", labels[i],
               show_time(per_call(*pf[i])).c_str(), "", "", show_time(per_call(*bf[i])).c_str(), "",
               "", ratio(per_call(*pf[i]), per_call(*bf[i])).c_str(), "", "",
               100 * std::max(pf[i]->cv, bf[i]->cv));
    auto over = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    printf("\ntwo threads against one, throughput: plug-in %.2fx, baseline %.2fx\n",
           over(p2.rate, p1.rate), over(b2.rate, b1.rate));
    // What a call costs in CPU time with two threads running: above 1 when
    // the two threads slow each other down (shared caches and cores, locks
    // spun on), whatever else the machine runs meanwhile.
    printf("CPU time per call, two threads against one: plug-in %.2fx, baseline %.2fx\n",
           over(p2.cpu, p1.cpu), over(b2.cpu, b1.cpu));
    for (const heap_row &r : heap)
        printf(
            "peak over body size, %-18s allocated: plug-in %.2fx, baseline %.2fx; resident: "
            "plug-in %.2fx, baseline %.2fx\n",
            r.id, r.plugin, r.baseline, r.plugin_rss, r.baseline_rss);
    printf(
        "(time ratios are the plug-in over B1, B2 and the baseline; per call for the thread "
        "rows)\n");
}

// --plix_run=<side>/<case>[:calls]: only calls one side of the case (plugin,
// floor1, floor2 or baseline) that many times, untimed, for a profiler such
// as callgrind. The thread cases are left out of it.
__attribute__((noinline)) int run_only(const std::vector<bench_case> &cases, const char *what) {
    std::string wanted = what;
    long calls = 1;
    size_t colon = wanted.find(':');
    if (colon != std::string::npos) {
        calls = strtol(wanted.c_str() + colon + 1, nullptr, 10);
        wanted.resize(colon);
    }
    for (const bench_case &c : cases) {
        std::string side = wanted.substr(0, wanted.find('/'));
        if (wanted != side + "/" + c.id) continue;
        if (side != "plugin" && side != "baseline" && (c.floor.empty() || side.rfind("floor", 0)))
            continue;
        plix_use_fake();
        // Under callgrind with --instr-atstart=no only these calls are
        // simulated, not the making of the inputs.
        CALLGRIND_START_INSTRUMENTATION;
        int r = 0;
        for (long i = 0; i < calls && r == 0; ++i) {
            if (side == "plugin")
                r = c.plugin() != 0;
            else if (side == "floor1")
                benchmark::DoNotOptimize(baseline::floor_read(c.floor.data(), c.floor.size()));
            else if (side == "floor2")
                benchmark::DoNotOptimize(
                    baseline::floor_read_write(c.floor.data(), c.floor.size()));
            else
                free(c.baseline());
        }
        CALLGRIND_STOP_INSTRUMENTATION;
        return r;
    }
    fprintf(stderr, "no case %s\n", wanted.c_str());
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    const char *only = nullptr;
    for (int i = 1; i < argc; ++i)
        if (!strncmp(argv[i], "--plix_run=", 11)) {
            only = argv[i] + 11;
            for (int j = i; j < argc; ++j) argv[j] = argv[j + 1];
            --argc;
            break;
        }
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // Measure work, not page faults: glibc moves its mmap and trim
    // thresholds as large blocks come and go, so the same large listing
    // would cost twice as much whenever its blocks need fresh pages. Pinned
    // (and with mmap off for the blocks above the largest threshold, such
    // as yyjson's document of a 20 MB body), every block stays on the heap
    // and the heap is never trimmed, for the plug-in and the floors alike.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    g_out = static_cast<char *>(malloc(kOutSize));
    make_inputs();
    static std::vector<bench_case> cases = make_cases();
    if (only) return run_only(cases, only);
    if (!answers_match(cases)) return 1;
    std::vector<heap_row> heap = measure_heap(cases);

    for (const bench_case &c : cases) {
        benchmark::RegisterBenchmark((std::string("plugin/") + c.id).c_str(), run_plugin, &c)
            ->Unit(benchmark::kMicrosecond);
        if (!c.floor.empty()) {
            benchmark::RegisterBenchmark((std::string("floor1/") + c.id).c_str(), run_floor_read,
                                         &c)
                ->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark((std::string("floor2/") + c.id).c_str(),
                                         run_floor_read_write, &c)
                ->Unit(benchmark::kMicrosecond);
        }
        benchmark::RegisterBenchmark((std::string("baseline/") + c.id).c_str(), run_baseline, &c)
            ->Unit(benchmark::kMicrosecond);
    }
    benchmark::RegisterBenchmark("plugin/validate_threads", run_plugin_threads)
        ->Threads(1)
        ->Threads(2)
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("baseline/validate_threads", run_baseline_threads)
        ->Threads(1)
        ->Threads(2)
        ->UseRealTime()
        ->Unit(benchmark::kMicrosecond);

    table_reporter rep;
    benchmark::RunSpecifiedBenchmarks(&rep);
    print_table(rep, cases, heap);
    benchmark::Shutdown();
    plix_set_io(nullptr);
    plix_fake_reset();
    free(g_out);
    return 0;
}
