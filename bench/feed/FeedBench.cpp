// Throughput of the feed pipeline (text in, item records out) beside common XML parsers
// doing the same job on the same generated feeds, and a memchr pass as the floor.
#include <benchmark/benchmark.h>
#include <expat.h>
#include <libxml/parser.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "feed/jsRSSParser.h"

namespace {

std::string MakeFeed(size_t targetBytes) {
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

const std::string& Feed(int64_t bytes) {
    static std::map<int64_t, std::string> feeds;
    auto it = feeds.find(bytes);
    if (it == feeds.end()) it = feeds.emplace(bytes, MakeFeed(static_cast<size_t>(bytes))).first;
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

void Pelorin(benchmark::State& state) {
    const std::string& text = Feed(state.range(0));
    for (auto _ : state) {
        Sink sink;
        TjsRSSParser rss;
        rss.OnFoundItem = [&](TObject*, const TItemInfo& i) { sink.Item(i); };
        rss.ParseText(text);
        benchmark::DoNotOptimize(sink.bytes);
        state.counters["items"] = static_cast<double>(sink.items);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
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

void Expat(benchmark::State& state) {
    const std::string& text = Feed(state.range(0));
    for (auto _ : state) {
        SaxCollector c;
        XML_Parser p = XML_ParserCreate(nullptr);
        XML_SetUserData(p, &c);
        XML_SetElementHandler(
            p, [](void* u, const XML_Char* n, const XML_Char**) { static_cast<SaxCollector*>(u)->Start(n); },
            [](void* u, const XML_Char* n) { static_cast<SaxCollector*>(u)->End(n); });
        XML_SetCharacterDataHandler(
            p, [](void* u, const XML_Char* s, int len) { static_cast<SaxCollector*>(u)->Text(s, len); });
        if (XML_Parse(p, text.data(), static_cast<int>(text.size()), 1) != XML_STATUS_OK)
            state.SkipWithError("expat failed");
        XML_ParserFree(p);
        benchmark::DoNotOptimize(c.sink.bytes);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

void LibXml2(benchmark::State& state) {
    const std::string& text = Feed(state.range(0));
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
    for (auto _ : state) {
        SaxCollector c;
        if (xmlSAXUserParseMemory(&sax, &c, text.data(), static_cast<int>(text.size())) != 0)
            state.SkipWithError("libxml2 failed");
        benchmark::DoNotOptimize(c.sink.bytes);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

void PugiXml(benchmark::State& state) {
    const std::string& text = Feed(state.range(0));
    for (auto _ : state) {
        Sink sink;
        pugi::xml_document doc;
        if (!doc.load_buffer(text.data(), text.size())) state.SkipWithError("pugixml failed");
        for (pugi::xml_node item : doc.child("rss").child("channel").children("item")) {
            TItemInfo i;
            i.Title = item.child_value("title");
            i.Link = item.child_value("link");
            i.Description = item.child_value("description");
            i.Creator = item.child_value("dc:creator");
            i.Date = item.child_value("dc:date");
            sink.Item(i);
        }
        benchmark::DoNotOptimize(sink.bytes);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

void MemchrFloor(benchmark::State& state) {
    const std::string& text = Feed(state.range(0));
    for (auto _ : state) {
        size_t tags = 0;
        const char* p = text.data();
        const char* end = p + text.size();
        while ((p = static_cast<const char*>(std::memchr(p, '<', static_cast<size_t>(end - p))))) {
            ++tags;
            ++p;
        }
        benchmark::DoNotOptimize(tags);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

#define FEED_SIZES ->Arg(64 << 10)->Arg(1 << 20)->Arg(16 << 20)->Unit(benchmark::kMillisecond)
BENCHMARK(Pelorin) FEED_SIZES;
BENCHMARK(Expat) FEED_SIZES;
BENCHMARK(LibXml2) FEED_SIZES;
BENCHMARK(PugiXml) FEED_SIZES;
BENCHMARK(MemchrFloor) FEED_SIZES;

// Collects MB/s per contender and size for the side-by-side table.
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

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const int64_t sizes[] = {64 << 10, 1 << 20, 16 << 20};
    std::printf("\nMB/s          64 KB     1 MB    16 MB\n");
    for (const char* who : {"Pelorin", "Expat", "LibXml2", "PugiXml", "MemchrFloor"}) {
        std::printf("%-11s", who);
        for (int64_t s : sizes)
            std::printf(" %8.0f", reporter.mbps[who][s]);
        std::printf("\n");
    }
    std::printf("\nPelorin vs  ");
    for (const char* who : {"Expat", "PugiXml"}) {
        std::printf("  %s:", who);
        for (int64_t s : sizes) {
            double other = reporter.mbps[who][s];
            std::printf(" %.2fx", other > 0 ? reporter.mbps["Pelorin"][s] / other : 0.0);
        }
    }
    std::printf("\n");
    benchmark::Shutdown();
    return 0;
}
