// Throughput of the feed pipeline (text in, item records out) beside common XML parsers
// doing the same job on the same generated feeds, and a memchr pass as the floor.
//
// Two figures per parser: the steady state (many parses in one process, the allocator
// warm) and the first parse of a fresh process, which is what the program sees once per
// refresh. First parses run in child processes of this same executable (--first-parse),
// each of which builds its document, then times one parse; the median of five is shown.
// --no-first-parse skips them.
#include <benchmark/benchmark.h>
#include <expat.h>
#include <libxml/parser.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "feed/jsRSSParser.h"

namespace {

// The catalogue's own feed as it comes from the server: long descriptions, CR LF.
std::string MakeCatalogueFeed(size_t targetBytes) {
    std::string s =
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n"
        "<rss version=\"2.0\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\r\n<channel>\r\n"
        "  <title>Quenlow - Latest Additions</title>\r\n  <link>http://www.quenlow.example/</link>\r\n"
        "  <description>The newest software in the catalogue</description>\r\n  "
        "<language>en-us</language>\r\n";
    for (int n = 0; s.size() < targetBytes; ++n) {
        std::string id = std::to_string(n);
        s += "  <item>\r\n    <title>Product " + id + " " + std::to_string(n % 9 + 1) + "." +
             std::to_string(n % 7) +
             " | Utilities &amp; Tools</title>\r\n    <link>http://www.quenlow.example/software/product-" +
             id + ".html</link>\r\n    <description>Product " + id +
             " lets you &quot;clean up&quot; disks quickly &amp; safely; it reads &lt;many&gt; formats, "
             "schedules its work and reports what it found.</description>\r\n    <dc:creator>Vendor " +
             std::to_string(n % 97) + " Software</dc:creator>\r\n    <dc:date>2026-12-0" +
             std::to_string(n % 9 + 1) + "T10:20:30+00:00</dc:date>\r\n  </item>\r\n";
    }
    return s + "</channel>\r\n</rss>\r\n";
}

// An item-dense feed: short items of five fields, about 230 bytes each, with the line
// ends a server gives it (LF from most, CR LF from some).
std::string MakeDenseFeed(size_t targetBytes, const char* eol) {
    const std::string e = eol;
    std::string s = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + e +
                    "<rss version=\"2.0\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">" + e + "<channel>" +
                    e + "<title>Quenlow - Top 10</title>" + e + "<link>http://www.quenlow.example/</link>" +
                    e;
    for (int n = 0; s.size() < targetBytes; ++n) {
        std::string id = std::to_string(n);
        s += " <item>" + e + "  <title>Product " + id + " " + std::to_string(n % 9 + 1) + "." +
             std::to_string(n % 7) + "</title>" + e + "  <link>http://quenlow.example/p/" + id +
             ".html</link>" + e + "  <description>Cleans disks &amp; more.</description>" + e +
             "  <dc:creator>Vendor " + std::to_string(n % 97) + "</dc:creator>" + e + "  <dc:date>2026-12-0" +
             std::to_string(n % 9 + 1) + "T10:20:30Z</dc:date>" + e + " </item>" + e;
    }
    return s + "</channel>" + e + "</rss>" + e;
}

struct DocSpec {
    const char* Name;
    std::string (*Make)();
};

const DocSpec Docs[] = {
    {"64 KB", [] { return MakeCatalogueFeed(64 << 10); }},
    {"1 MB", [] { return MakeCatalogueFeed(1 << 20); }},
    {"16 MB", [] { return MakeCatalogueFeed(16 << 20); }},
    {"dense LF", [] { return MakeDenseFeed(20 << 20, "\n"); }},
    {"dense CRLF", [] { return MakeDenseFeed(20 << 20, "\r\n"); }},
};
constexpr int DocCount = static_cast<int>(sizeof Docs / sizeof Docs[0]);
constexpr int FirstDenseDoc = 3;  // first parses are measured on the dense feeds

const std::string& Doc(int64_t index) {
    static std::map<int64_t, std::string> docs;
    auto it = docs.find(index);
    if (it == docs.end()) it = docs.emplace(index, Docs[index].Make()).first;
    return it->second;
}

// The same five fields every contender extracts; the checksum keeps the work observable.
struct Sink {
    size_t items = 0, bytes = 0;
    void Item(const TItemInfo& i) {
        ++items;
        bytes += i.Title.size() + i.Link.size() + i.Description.size() + i.Creator.size() + i.Date.size();
    }
};

// Each contender parses one text and returns the checksum, or -1 when it failed.
long long Pelorin(const std::string& text) {
    Sink sink;
    TjsRSSParser rss;
    rss.OnFoundItem = [&](TObject*, const TItemInfo& i) { sink.Item(i); };
    rss.ParseText(text);
    return static_cast<long long>(sink.bytes);
}

// SAX-style collector shared by expat and libxml2: fields are the text of the known
// children of an item element.
struct SaxCollector {
    Sink sink;
    TItemInfo item;
    std::string* field = nullptr;
    bool inItem = false;
    void Start(const char* name) {
        if (std::strcmp(name, "item") == 0) {
            inItem = true;
            item = TItemInfo();
        } else if (inItem) {
            field = std::strcmp(name, "title") == 0         ? &item.Title
                    : std::strcmp(name, "link") == 0        ? &item.Link
                    : std::strcmp(name, "description") == 0 ? &item.Description
                    : std::strcmp(name, "dc:creator") == 0  ? &item.Creator
                    : std::strcmp(name, "dc:date") == 0     ? &item.Date
                                                            : nullptr;
        }
    }
    void End(const char* name) {
        field = nullptr;
        if (std::strcmp(name, "item") == 0) {
            inItem = false;
            sink.Item(item);
        }
    }
    void Text(const char* s, int len) {
        if (field) field->append(s, static_cast<size_t>(len));
    }
};

long long Expat(const std::string& text) {
    SaxCollector c;
    XML_Parser p = XML_ParserCreate(nullptr);
    XML_SetUserData(p, &c);
    XML_SetElementHandler(
        p, [](void* u, const XML_Char* n, const XML_Char**) { static_cast<SaxCollector*>(u)->Start(n); },
        [](void* u, const XML_Char* n) { static_cast<SaxCollector*>(u)->End(n); });
    XML_SetCharacterDataHandler(
        p, [](void* u, const XML_Char* s, int len) { static_cast<SaxCollector*>(u)->Text(s, len); });
    bool ok = XML_Parse(p, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(p);
    return ok ? static_cast<long long>(c.sink.bytes) : -1;
}

long long LibXml2(const std::string& text) {
    xmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    sax.startElement = [](void* u, const xmlChar* n, const xmlChar**) {
        static_cast<SaxCollector*>(u)->Start(reinterpret_cast<const char*>(n));
    };
    sax.endElement = [](void* u, const xmlChar* n) {
        static_cast<SaxCollector*>(u)->End(reinterpret_cast<const char*>(n));
    };
    sax.characters = [](void* u, const xmlChar* s, int len) {
        static_cast<SaxCollector*>(u)->Text(reinterpret_cast<const char*>(s), len);
    };
    SaxCollector c;
    if (xmlSAXUserParseMemory(&sax, &c, text.data(), static_cast<int>(text.size())) != 0) return -1;
    return static_cast<long long>(c.sink.bytes);
}

long long PugiXml(const std::string& text) {
    Sink sink;
    pugi::xml_document doc;
    if (!doc.load_buffer(text.data(), text.size())) return -1;
    for (pugi::xml_node item : doc.child("rss").child("channel").children("item")) {
        TItemInfo i;
        i.Title = item.child_value("title");
        i.Link = item.child_value("link");
        i.Description = item.child_value("description");
        i.Creator = item.child_value("dc:creator");
        i.Date = item.child_value("dc:date");
        sink.Item(i);
    }
    return static_cast<long long>(sink.bytes);
}

long long MemchrFloor(const std::string& text) {
    long long tags = 0;
    const char* p = text.data();
    const char* end = p + text.size();
    while ((p = static_cast<const char*>(std::memchr(p, '<', static_cast<size_t>(end - p))))) {
        ++tags;
        ++p;
    }
    return tags;
}

struct Contender {
    const char* Name;
    long long (*Run)(const std::string&);
};

const Contender Contenders[] = {
    {"Pelorin", Pelorin},         {"Expat", Expat}, {"LibXml2", LibXml2}, {"PugiXml", PugiXml},
    {"MemchrFloor", MemchrFloor},
};

void Steady(benchmark::State& state, long long (*run)(const std::string&)) {
    const std::string& text = Doc(state.range(0));
    for (auto _ : state) {
        long long sum = run(text);
        if (sum < 0) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

// Collects MB/s per contender and document for the side-by-side table.
class TableReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, std::map<int64_t, double>> mbps;
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            std::string name = r.benchmark_name();
            size_t slash = name.find('/');
            if (slash == std::string::npos) continue;
            auto it = r.counters.find("bytes_per_second");
            if (it == r.counters.end()) continue;
            mbps[name.substr(0, slash)][std::stoll(name.substr(slash + 1))] = it->second / 1e6;
        }
    }
};

// In a child: builds the document, then times one parse; prints MB/s.
int FirstParseChild(const char* who, int doc) {
    for (const Contender& c : Contenders) {
        if (std::strcmp(c.Name, who) != 0) continue;
        const std::string text = Docs[doc].Make();
        auto t0 = std::chrono::steady_clock::now();
        long long sum = c.Run(text);
        auto t1 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(sum);
        if (sum < 0) return 1;
        std::printf("%f\n",
                    static_cast<double>(text.size()) / std::chrono::duration<double>(t1 - t0).count() / 1e6);
        return 0;
    }
    return 1;
}

// Median MB/s of the first parse over a few fresh processes.
double FirstParse(const std::string& self, const char* who, int doc) {
    const int runs = 5;
    std::vector<double> got;
    for (int i = 0; i < runs; ++i) {
        std::string cmd = "'" + self + "' --first-parse " + who + " " + std::to_string(doc);
        FILE* p = popen(cmd.c_str(), "r");
        if (!p) return 0;
        double v = 0;
        if (std::fscanf(p, "%lf", &v) == 1) got.push_back(v);
        pclose(p);
    }
    if (got.empty()) return 0;
    std::sort(got.begin(), got.end());
    return got[got.size() / 2];
}

void PrintTable(const char* title, std::map<std::string, std::map<int64_t, double>>& mbps, int from) {
    std::printf("\n%-12s", title);
    for (int d = from; d < DocCount; ++d)
        std::printf(" %11s", Docs[d].Name);
    std::printf("\n");
    for (const Contender& c : Contenders) {
        std::printf("%-12s", c.Name);
        for (int d = from; d < DocCount; ++d)
            std::printf(" %11.0f", mbps[c.Name][d]);
        std::printf("\n");
    }
    // Pelorin's speed as a multiple of others measured in the same run: unlike MB/s, these
    // hold up on a busy machine.
    for (const char* other : {"Expat", "PugiXml"}) {
        std::printf("%-12s", ("x " + std::string(other)).c_str());
        for (int d = from; d < DocCount; ++d) {
            double o = mbps[other][d];
            std::printf(" %10.2fx", o > 0 ? mbps["Pelorin"][d] / o : 0.0);
        }
        std::printf("\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--first-parse") == 0) {
        int doc = std::atoi(argv[3]);
        return doc >= 0 && doc < DocCount ? FirstParseChild(argv[2], doc) : 1;
    }
    bool firstParse = true;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--no-first-parse") == 0) {
            firstParse = false;
            for (int k = i; k + 1 < argc; ++k)
                argv[k] = argv[k + 1];
            --argc;
            break;
        }

    for (const Contender& c : Contenders) {
        auto* b = benchmark::RegisterBenchmark(c.Name, Steady, c.Run);
        for (int d = 0; d < DocCount; ++d)
            b->Arg(d);
        b->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintTable("MB/s steady", reporter.mbps, 0);

    if (firstParse) {
        char self[4096];
        ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        if (n > 0) {
            self[n] = 0;
            std::map<std::string, std::map<int64_t, double>> first;
            for (const Contender& c : Contenders)
                for (int d = FirstDenseDoc; d < DocCount; ++d)
                    first[c.Name][d] = FirstParse(self, c.Name, d);
            PrintTable("MB/s first", first, FirstDenseDoc);
        }
    }
    benchmark::Shutdown();
    return 0;
}
