// Benchmark of the page scan: a page of several MB made of varied, realistic
// HTML pieces, scanned repeatedly; prints MB/s. Not a test: it asserts nothing.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "analysis/file_table.h"
#include "analysis/page_scan.h"
#include "engine/jobs.h"
#include "engine/text.h"
#include "settings/options.h"
#include "tests/support/recorder.h"

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
    "  <a href=\"#top\">top</a> <a href=\"../index.html#news\">news</a>\n</div>\n</body>\n</html>\n",
};

int main(int argc, char** argv) {
    size_t targetBytes = 8u << 20;
    if (argc > 1) targetBytes = (size_t)strtoul(argv[1], nullptr, 10) << 20;

    // Concatenated pieces, with numbers varied so most links are new ones.
    std::string page;
    for (unsigned n = 0; page.size() < targetBytes; n++) {
        std::string piece = kPieces[n % (sizeof kPieces / sizeof kPieces[0])];
        char number[16];
        FormatText(number, sizeof number, "%u", n);
        size_t numberLength = strlen(number);
        for (size_t at = piece.find("2003"); at != std::string::npos;
             at = piece.find("2003", at + numberLength))
            piece.replace(at, 4, number);
        page += piece;
    }

    Options.JPG = Options.GIF = Options.PNG = Options.WAV = Options.LZH = 1;
    Options.HTM = Options.InternalLinks = Options.HeadCheck = 1;
    CopyText(Options.Extension, sizeof Options.Extension, "pdf zip");
    const char* address = "http://www.example.jp/~user/gallery/index.html";

    const int rounds = 5;
    double best = 0;
    for (int round = 0; round < rounds; round++) {
        OnAnalysePage(address, -1);
        Engine.AnalysisQueue.clear();
        ClearReports();
        auto start = std::chrono::steady_clock::now();
        AnalysePage(page.c_str(), address);
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        double mbs = (double)page.size() / (1024.0 * 1024.0) / took.count();
        if (mbs > best) best = mbs;
        printf("round %d: %.1f MB in %.3f s, %.1f MB/s, %d rows\n", round + 1,
               (double)page.size() / (1024.0 * 1024.0), took.count(), mbs, ListCount());
    }
    printf("page scan: best %.1f MB/s\n", best);
    OnStopAll();
    return 0;
}
