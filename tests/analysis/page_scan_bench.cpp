// Benchmark of the page scan: a page of several MB made of varied, realistic
// HTML pieces, scanned repeatedly; prints MB/s of the scan alone (bytes to
// references) and of the whole analysis (with the table and the queues), and
// the scan's figure on a page of today's markup. Not a test: it asserts nothing.
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "analysis/byte_search.h"
#include "analysis/page_scan.h"
#include "engine/file_table.h"
#include "engine/jobs.h"
#include "engine/page_links.h"
#include "settings/options.h"
#include "tests/support/recorder.h"
#include "text/text.h"

static const char* const kPieces[] = {
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n<html lang=\"ja\">\n"
    "<head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\n"
    "<title>\x83\x7B\x83\x8A\x83\x85\x81\x5B\x83\x80 gallery</title>\n"
    "<link rel=\"stylesheet\" href=\"/css/site.css\" type=\"text/css\">\n</head>\n",
    "<body bgcolor=\"#ffffff\" background=\"img/bg.gif\" text=\"#333333\">\n"
    "<table width=\"760\" border=\"0\" cellspacing=\"0\" cellpadding=\"4\">\n<tr>\n"
    "  <td class=\"nav\"><a href=\"index.html\">Home</a> | <a href=\"../diary/\">Diary</a> |"
    " <a href=\"links.htm\">Links</a> | <a href=\"mailto:owner@example.jp\">Mail</a></td>\n</tr>\n",
    "<tr><td><a href=\"photo/2003/p001.jpg\"><img src=\"photo/2003/t001.jpg\" width=\"120\""
    " height=\"90\" alt=\"\x8E\xCA\x90\x5E\" border=\"0\"></a>\n"
    "<A HREF=\"photo/2003/p002.jpg\"><IMG SRC=photo/2003/t002.jpg WIDTH=120 HEIGHT=90></A>\n"
    "<a href=\"javascript:;\" onClick=\"openWin('photo/2003/p003.jpg','pic','width=640')\">"
    "<img src=\"photo/2003/t003.jpg\"></a></td></tr>\n",
    "<!-- counter start -->\n<img src=\"/cgi-bin/count.cgi?id=12345&amp;dd=A\" alt=\"counter\">\n"
    "<!-- counter end -->\n<p>\x8D\xA1\x93\xFA\x82\xCC\x8D\x58\x90\x56: new pictures were added to "
    "the <b>gallery</b>; see the <a href=\"http://www.example.com/other/page.html\">friend's "
    "page</a> as well. Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod "
    "tempor incididunt ut labore et dolore magna aliqua.</p>\n",
    "<script language=\"JavaScript\">\n<!--\nfunction openWin(u, n, f) {\n"
    "  var w = window.open(u, n, f);\n  if (w && w.focus) w.focus();\n}\n"
    "function pop() { window.open('popup/notice.html', 'notice', 'width=300,height=200'); }\n"
    "//-->\n</script>\n",
    "<map name=\"m\"><area shape=\"rect\" coords=\"0,0,50,50\" href=\"sounds/hello.wav\">"
    "<area shape=\"rect\" coords=\"50,0,100,50\" href=\"archive/tools.lzh\"></map>\n"
    "<iframe src=\"news/latest.html\" width=\"300\" height=\"200\"></iframe>\n"
    "<ul>\n<li><a href=\"files/manual.pdf\">manual</a></li>\n"
    "<li><a href=\"https://secure.example.com/shop.html\">shop</a></li>\n"
    "<li><a href=\"//cdn.example.net/lib/banner.png\">banner</a></li>\n</ul>\n",
    "<div class=\"footer\">\n  <address>Copyright &copy; 2003 example.jp</address>\n"
    "  <a href=\"#top\">top</a> <a "
    "href=\"../index.html#news\">news</a>\n</div>\n</body>\n</html>\n",
};

// Today's markup: responsive and lazy images, media, icons, sharing images,
// CSS and character references.
static const char* const kModernPieces[] = {
    "<!doctype html><html lang=\"ja\"><head><meta charset=\"utf-8\">"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
    "<title>\xE5\x86\x99\xE7\x9C\x9F\xE3\x82\xAE\xE3\x83\xA3\xE3\x83\xA9\xE3\x83\xAA"
    "\xE3\x83\xBC | Example News</title>"
    "<meta property=\"og:image\" content=\"https://cdn.example.com/og/2003.jpg\">"
    "<link rel=\"icon\" href=\"/favicon-32.png\" sizes=\"32x32\">"
    "<link rel=\"stylesheet\" href=\"/assets/app.2003.css\">"
    "<style>.hero{background-image:url(\"/img/hero-2003.jpg\")}</style></head>\n",
    "<body class=\"page page--gallery\"><header class=\"site-header\"><nav aria-label=\"main\">"
    "<a class=\"nav__link\" href=\"/news/\">News</a><a class=\"nav__link\" href=\"/photo/\">"
    "Photo</a></nav></header>\n",
    "<article class=\"card\"><a href=\"/photo/2003/\" class=\"card__link\">"
    "<picture><source type=\"image/webp\" srcset=\"/p/2003-480.webp 480w, /p/2003-960.webp 960w\">"
    "<img class=\"card__img lazyload\" src=\"data:image/gif;base64,R0lGODlhAQABAAAAACw=\" "
    "data-src=\"/p/2003-960.jpg\" srcset=\"/p/2003-480.jpg 480w, /p/2003-960.jpg 960w, "
    "/p/2003-1920.jpg 1920w\" sizes=\"(max-width: 600px) 100vw, 50vw\" alt=\"photo 2003\" "
    "loading=\"lazy\" width=\"960\" height=\"640\"></picture></a>"
    "<p class=\"card__text\">Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do "
    "eiusmod tempor incididunt ut labore et dolore magna aliqua &amp; more.</p></article>\n",
    "<div class=\"banner\" style=\"background:url(&quot;/img/banner-2003.png&quot;) no-repeat\">"
    "<video controls poster=\"/v/2003.jpg\"><source src=\"/v/2003.mp4\" type=\"video/mp4\">"
    "</video></div><a href=\"/dl/file.php?id=2003&amp;type=jpg\">download</a>\n",
    "<script type=\"application/json\" id=\"state\">{\"items\":[2003,2004,2005],"
    "\"next\":\"/api/page/2\"}</script><footer><small>&copy; Example</small></footer>\n",
};

static std::string MakePage(const char* const* pieces, size_t count, size_t targetBytes) {
    // Concatenated pieces, with numbers varied so most links are new ones.
    std::string page;
    for (unsigned n = 0; page.size() < targetBytes; n++) {
        std::string piece = pieces[n % count];
        char number[16];
        FormatText(number, sizeof number, "%u", n);
        size_t numberLength = strlen(number);
        for (size_t at = piece.find("2003"); at != std::string::npos;
             at = piece.find("2003", at + numberLength))
            piece.replace(at, 4, number);
        page += piece;
    }
    return page;
}

static double Megabytes(const std::string& page) {
    return (double)page.size() / (1024.0 * 1024.0);
}

// Seconds of processor time used (natively), so a busy machine that hands
// the benchmark only part of a core does not halve the figure. The Windows
// runtime's clock() counts wall time instead.
static double ProcessorSeconds() {
    return (double)std::clock() / CLOCKS_PER_SEC;
}

// Best of a few rounds of the scan alone.
static double ScanSpeed(const std::string& page, const char* address, size_t* referencesOut) {
    static PageScan scan;
    ScanSettings settings{false, 0};
    double best = 0;
    for (int round = 0; round < 10; round++) {
        double start = ProcessorSeconds();
        ScanPage(page.data(), page.size(), address, settings, &scan);
        double mbs = Megabytes(page) / (ProcessorSeconds() - start);
        if (mbs > best) best = mbs;
    }
    *referencesOut = scan.references.size();
    return best;
}

int main(int argc, char** argv) {
    size_t targetBytes = 8u << 20;
    if (argc > 1) targetBytes = (size_t)strtoul(argv[1], nullptr, 10) << 20;
    std::string page = MakePage(kPieces, sizeof kPieces / sizeof kPieces[0], targetBytes);
    std::string modern =
        MakePage(kModernPieces, sizeof kModernPieces / sizeof kModernPieces[0], targetBytes);

    Options.JPG = Options.GIF = Options.PNG = Options.WAV = Options.LZH = 1;
    Options.HTM = Options.InternalLinks = Options.HeadCheck = 1;
    CopyText(Options.Extension, sizeof Options.Extension, "pdf zip");
    const char* address = "http://www.example.jp/~user/gallery/index.html";
    printf("vector search: %s\n", VectorSearchInUse() ? "SSE2" : "portable");

    const int rounds = 5;
    double best = 0;
    for (int round = 0; round < rounds; round++) {
        OnAnalysePage(address, -1);
        Engine.AnalysisQueue.clear();
        ClearReports();
        double start = ProcessorSeconds();
        AnalysePage(page.c_str(), page.size(), address, 0);
        double took = ProcessorSeconds() - start;
        double mbs = Megabytes(page) / took;
        if (mbs > best) best = mbs;
        printf("round %d: %.1f MB in %.3f s, %.1f MB/s, %d rows\n", round + 1, Megabytes(page),
               took, mbs, ListCount());
    }
    size_t references = 0;
    double scan = ScanSpeed(page, address, &references);
    printf("page scan (bytes to references): best %.1f MB/s, %zu references\n", scan, references);
    printf("whole analysis (scan, table, queues): best %.1f MB/s\n", best);
    double modernScan = ScanSpeed(modern, address, &references);
    printf("page scan of today's markup: best %.1f MB/s, %zu references\n", modernScan, references);
    OnStopAll();
    return 0;
}
