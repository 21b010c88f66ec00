#!/usr/bin/env python3
"""Ferrow.chm as a user gets it: decompiled with extract_chmLib, it holds the
expected topics in its contents, its pages are Shift_JIS, its links lead to
pages inside it, and its log topic shows every line and message the program
can show, exactly as the program writes it.

usage: manual_test.py <Ferrow.chm> <source root>"""
import html
import re
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

CHM = Path(sys.argv[1]) if len(sys.argv) > 1 else None
ROOT = Path(sys.argv[2]) if len(sys.argv) > 2 else None

# The topics the manual must have: file, and a word its title must hold.
TOPICS = [
    ("index.htm", "ヘルプ"),
    ("start.htm", "起動"),
    ("analyse.htm", "解析"),
    ("types.htm", "種類"),
    ("head.htm", "サイズと日付"),
    ("links.htm", "リンク"),
    ("download.htm", "ダウンロード"),
    ("limits.htm", "サイズ"),
    ("samename.htm", "同名"),
    ("viewer.htm", "プラグイン"),
    ("settings.htm", "設定"),
    ("settings_save.htm", "保存"),
    ("settings_analysis.htm", "解析"),
    ("settings_skip.htm", "スキップ"),
    ("settings_other.htm", "その他"),
    ("browser.htm", "ブラウザ"),
    ("extension.htm", "拡張"),
    ("dragdrop.htm", "ドラッグ"),
    ("ini.htm", "Ferrow.ini"),
    ("log.htm", "ログ"),
]

# Folders whose sources can write to the log or show a message box.
SOURCE_FOLDERS = ["engine", "analysis", "app", "settings", "viewer", "launcher"]


def text_of(fragment):
    return html.unescape(re.sub(r"<[^>]+>", "", fragment)).strip()


def c_literal(body):
    """The text of a C string literal's body (only the escapes the sources use)."""
    return body.replace('\\"', '"').replace("\\\\", "\\")


def format_pattern(fmt):
    """A regular expression for the lines a printf format can produce."""
    parts = re.split(r"%(?:\d*)[sd]", fmt)
    return "^" + ".+?".join(re.escape(p) for p in parts) + "$"


class Manual(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        out = Path(cls.folder.name) / "chm"
        done = subprocess.run(["extract_chmLib", str(CHM), str(out)], capture_output=True, text=True)
        if done.returncode != 0:
            raise AssertionError("extract_chmLib failed: " + done.stdout + done.stderr)
        cls.files = {p.relative_to(out).as_posix(): p.read_bytes() for p in out.rglob("*") if p.is_file()}

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def page(self, name):
        self.assertIn(name, self.files, "topic missing from the compiled manual")
        return self.files[name].decode("cp932")

    def contents(self):
        toc = self.page("toc.hhc")
        return re.findall(r'<param name="Name" value="([^"]*)">\s*<param name="Local" value="([^"]*)">', toc)

    def test_every_expected_topic_is_in_the_contents_with_its_title(self):
        entries = dict((local, name) for name, local in self.contents())
        for name, word in TOPICS:
            with self.subTest(topic=name):
                self.assertIn(name, entries, "not in the contents")
                title = re.search(r"<title>(.*?)</title>", self.page(name)).group(1)
                self.assertIn(word, title)
                self.assertEqual(entries[name], title, "contents entry and page title differ")

    def test_contents_and_pages_agree(self):
        listed = [local for _, local in self.contents()]
        self.assertEqual(len(listed), len(set(listed)), "a topic is listed twice")
        pages = {name for name in self.files if name.endswith(".htm")}
        self.assertEqual(set(listed), pages, "pages and contents differ")

    def test_home_topic_is_the_default_and_opens_the_contents(self):
        # The #SYSTEM file names the default topic; the about box links there.
        self.assertIn(b"index.htm", self.files["#SYSTEM"])
        home = self.page("index.htm")
        linked = set(re.findall(r'href="([^"#]+\.htm)', home))
        self.assertEqual(linked, {n for n, _ in TOPICS} - {"index.htm"}, "home page does not link every topic")

    def test_pages_are_shift_jis_and_say_so(self):
        for name in self.files:
            if not name.endswith((".htm", ".hhc")):
                continue
            with self.subTest(page=name):
                text = self.page(name)  # raises if not code page 932
                self.assertIn("charset=Shift_JIS", text)
                self.assertNotIn("@FERROW_VERSION@", text, "version left unreplaced")

    def test_every_link_leads_to_a_page_of_the_manual(self):
        for name in self.files:
            if not name.endswith(".htm"):
                continue
            for target in re.findall(r'(?:href|src)="([^"]+)"', self.page(name)):
                if target.startswith(("http:", "https:", "mailto:")):
                    continue
                with self.subTest(page=name, link=target):
                    self.assertIn(target.split("#")[0], self.files)

    def log_texts(self):
        return [text_of(m) for m in re.findall(r'<code class="log">(.*?)</code>', self.page("log.htm"), re.S)]

    def program_formats(self):
        formats = set()
        for folder in SOURCE_FOLDERS:
            for source in sorted((ROOT / folder).glob("*.cpp")):
                code = source.read_text(encoding="utf-8")
                for body in re.findall(r'LogAppend\("((?:[^"\\]|\\.)*)"', code):
                    if body != "%s":  # the banner, checked on its own
                        formats.add(c_literal(body))
        return formats

    def test_log_topic_shows_every_log_line_of_the_program(self):
        formats = self.program_formats()
        self.assertGreater(len(formats), 10, "the log lines were not found in the sources")
        shown = self.log_texts()
        for fmt in sorted(formats):
            with self.subTest(line=fmt):
                pattern = format_pattern(fmt)
                self.assertTrue(any(re.match(pattern, t) for t in shown), "not explained in log.htm")
        # And nothing the program never writes.
        banner = self.banner()
        for text in shown:
            with self.subTest(shown=text):
                self.assertTrue(text == banner or any(re.match(format_pattern(f), text) for f in formats),
                                "log.htm shows a line the program does not write")

    def banner(self):
        header = (ROOT / "resources" / "version.h").read_text(encoding="utf-8")
        version = re.search(r'#define FERROW_VERSION "([^"]+)"', header).group(1)
        line = re.search(r'kBannerLine\[\] = "([^"]*)" FERROW_VERSION "([^"]*)"', header)
        return line.group(1) + version + line.group(2)

    def test_log_topic_shows_the_banner_of_this_version(self):
        self.assertIn(self.banner(), self.log_texts())

    def test_log_topic_explains_every_message_box(self):
        page = text_of(self.page("log.htm"))
        for folder in SOURCE_FOLDERS:
            for source in sorted((ROOT / folder).glob("*.cpp")):
                code = source.read_text(encoding="utf-8")
                for body in re.findall(r'MessageBoxA\([^,]*,\s*"((?:[^"\\]|\\.)*)"', code):
                    with self.subTest(message=body, source=source.name):
                        self.assertIn(c_literal(body), page)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"])
