#!/usr/bin/python3
"""The pictures a reader sees on a sample page, as an independent HTML5 parser
(python3-html5lib) finds them: the largest candidate of every img and source,
lazy-loading attributes, sharing images, icons, structured data, the content of
noscript, CSS url() and links to pictures, resolved on the page's address and
kept when the path ends in a ticked picture extension (jpg, jpeg, png, gif), or
has no extension where only a picture can stand (not a link, not a counting
pixel: an img of width and height 0 or 1).

Usage: html5-pictures.py PAGE.html...   prints PAGE.pictures contents
       html5-pictures.py --check PAGE.html...   compares with the .pictures
files beside the pages; exit 1 on a difference."""
import json
import re
import sys
import urllib.parse

import html5lib

PAGE_ADDRESS = "http://news.example/section/article.html"
EXTENSIONS = ("jpg", "jpeg", "png", "gif")
LAZY = ("data-src", "data-original", "data-lazy-src", "data-full-src", "data-large-file",
        "data-orig-file")
SRCSETS = ("srcset", "data-srcset", "data-lazy-srcset")
PICTURE_KEYS = ("image", "contentUrl", "thumbnailUrl")


def largest_candidate(value):
    """The HTML srcset rules: a candidate runs to a blank; its descriptors to
    the next comma. Largest width wins, then density; first wins a tie."""
    best, best_key = None, None
    pos, n = 0, len(value)
    while pos < n:
        while pos < n and (value[pos].isspace() or value[pos] == ","):
            pos += 1
        start = pos
        while pos < n and not value[pos].isspace():
            pos += 1
        url = value[start:pos]
        comma_ended = url.endswith(",")
        url = url.rstrip(",")
        descriptors = ""
        if not comma_ended:
            end = value.find(",", pos)
            end = n if end < 0 else end
            descriptors, pos = value[pos:end], end
        if not url:
            continue
        key = (0, 1.0)
        for d in descriptors.split():
            m = re.fullmatch(r"(\d+(?:\.\d+)?)([wWxX])", d)
            if m:
                key = (1 if m.group(2) in "wW" else 0, float(m.group(1)))
        if best_key is None or key > best_key:
            best, best_key = url, key
    return best


def json_pictures(node, under_picture, out):
    if isinstance(node, dict):
        for key, value in node.items():
            if key in PICTURE_KEYS:
                json_pictures(value, True, out)
            elif key == "url" and under_picture and isinstance(value, str):
                out.append(value)
            else:
                json_pictures(value, False, out)
    elif isinstance(node, list):
        for item in node:
            json_pictures(item, under_picture, out)
    elif isinstance(node, str) and under_picture:
        out.append(node)


def css_urls(text):
    return [m.group(2) or m.group(3) for m in
            re.finditer(r"(?<![\w-])url\(\s*(['\"])?(?(1)(.*?)\1|([^)]*?))\s*\)", text, re.I)]


class Found(list):
    """(link, picture place) pairs; append takes a link found where only a
    picture stands, unless the element is a counting pixel."""
    pixel = False

    def append(self, link):
        super().append((link, not self.pixel))

    def extend(self, links):
        for link in links:
            self.append(link)


def found_in(root, out):
    for el in root.iter():
        tag = el.tag if isinstance(el.tag, str) else ""
        a = {k.lower(): v.strip() for k, v in el.attrib.items()}
        out.pixel = tag == "img" and all(
            a.get(k, "").lower() in ("0", "1", "0px", "1px") for k in ("width", "height"))
        if tag in ("img", "source"):
            for name in SRCSETS:
                if name in a and largest_candidate(a[name]):
                    out.append(largest_candidate(a[name]))
            if "src" in a:
                out.append(a["src"])
        for name in LAZY:
            if name in a:
                out.append(a[name])
        for name in ("data-bg", "data-background-image"):
            if name in a:
                out.extend(css_urls(a[name]) if "(" in a[name] else [a[name]])
        if "style" in a:
            out.extend(css_urls(a["style"]))
        if tag == "video" and "poster" in a:
            out.append(a["poster"])
        if tag == "meta" and "content" in a:
            key = a.get("property", "") or a.get("name", "")
            if key in ("og:image", "og:image:url", "twitter:image"):
                out.append(a["content"])
        if tag == "link" and "href" in a:
            rel = a.get("rel", "").lower().split()
            if {"icon", "apple-touch-icon", "image_src"} & set(rel):
                out.append(a["href"])
        if tag == "a" and "href" in a:
            list.append(out, (a["href"], False))
        if tag == "style" and el.text:
            out.extend(css_urls(el.text))
        if tag == "script" and a.get("type", "").lower() == "application/ld+json" and el.text:
            try:
                json_pictures(json.loads(el.text), False, out)
            except ValueError:
                pass
        if tag == "noscript" and el.text and "<" in el.text:
            found_in(html5lib.parseFragment(el.text, namespaceHTMLElements=False), out)


def pictures(path):
    with open(path, "rb") as f:
        root = html5lib.parse(f.read(), namespaceHTMLElements=False)
    found = Found()
    found_in(root, found)
    out = []
    for link, picture in found:
        address = urllib.parse.urljoin(PAGE_ADDRESS, link)
        parts = urllib.parse.urlsplit(address)
        if parts.scheme not in ("http", "https"):
            continue
        last = parts.path.rsplit("/", 1)[-1]
        ext = last.rsplit(".", 1)[1].lower() if "." in last else ""
        if (ext in EXTENSIONS or (picture and last and "." not in last)) and address not in out:
            out.append(address)
    return out


def main(args):
    check = args[:1] == ["--check"]
    pages = args[1:] if check else args
    failed = False
    for page in pages:
        text = "".join(p + "\n" for p in pictures(page))
        if not check:
            sys.stdout.write(text)
            continue
        expected_path = re.sub(r"\.html$", ".pictures", page)
        with open(expected_path) as f:
            if f.read() != text:
                print("html5-pictures: %s differs from what the HTML5 parser finds:\n%s"
                      % (expected_path, text))
                failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
