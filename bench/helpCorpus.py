#!/usr/bin/env python3
"""The German office-suite help pages as a corpus of documents, and known-item queries over it.

Reads Debian's libreoffice-help-de pages (/usr/share/libreoffice/help/de/text/**/*.html), in
sorted path order, and writes:

  corpus.tsv   one page per line: key (the path below text/) TAB its text in Latin-1. The text is
               what the page's display area shows: every block element (paragraph, heading, list
               item, table cell) becomes one sentence, closed with "." when it lacks an end mark.
               Pages with fewer than 40 words and pages whose text repeats an earlier page are left
               out, so that every query has exactly one right page.
  queries.tsv  set TAB query number TAB key of the right page TAB seek text, for the sets "exact",
               "typo" (one typing error in every word) and "lower" (lower-cased), and the same three
               again as "tune-exact", "tune-typo", "tune-lower": a separate split drawn from other
               sentences, the only one constants may be chosen on.

A query is three different content words (letters only, at least 4, no function word) of one
sentence of one page, in their sentence order; page and sentence are drawn with a fixed seed, so
the files are the same on every run. A typing error is, with equal chance, a letter replaced by a
neighbouring key of the German keyboard, a letter left out, a neighbouring key's letter put in,
or two neighbouring letters swapped; never on the first letter.

    /usr/bin/python3 bench/helpCorpus.py --out build/bench [--queries 1000] [--tune 300]
"""

from __future__ import annotations

import argparse
import html.parser
import os
import random
import re
import sys

HELP_DIR = "/usr/share/libreoffice/help/de/text"
SEED = 19
MIN_WORDS = 40

BLOCKS = {"p", "h1", "h2", "h3", "h4", "h5", "h6", "li", "td", "th", "dt", "dd", "pre", "div", "tr",
          "br", "table", "ul", "ol", "section", "title"}
SKIPPED = {"script", "style", "noscript", "head", "header", "aside", "nav", "button", "label",
           "input", "footer"}

# Words that carry no content; a query of them would find every page.
FUNCTION_WORDS = set("""
aber alle allem allen aller alles als also am an ander andere anderen anderer anderes auch auf aus
bei beim bereits bis bzw da dabei damit dann darauf darin das dass dein deine dem den denen denn der
deren des dessen die dies diese diesem diesen dieser dieses doch dort durch ein eine einem einen
einer eines einige einmal er es etwa euch falls für gegen haben hat hatte hier ihr ihre ihrem ihren
ihrer ihres im in indem ins ist jede jedem jeden jeder jedes jedoch kann kein keine keinem keinen
können könnte man mehr mit muss müssen nach nicht noch nun nur ob oder ohne sehr sein seine seinem
seinen seiner sich sie sind so soll sollen sollte sondern sowie über um und uns unter vom von vor
wann war waren was weil welche welchem welchen welcher welches wenn werden wie wieder wird wir wo
wurde wurden zu zum zur zwischen sowohl dazu dafür dadurch darüber davon dieser hierzu hier
wählen klicken
""".split())

# Neighbours on the German keyboard, for replaced and inserted letters.
KEYBOARD_ROWS = ["qwertzuiopü", "asdfghjklöä", "yxcvbnm"]


def neighbours(letter: str) -> str:
    lower = letter.lower()
    found = ""
    for r, row in enumerate(KEYBOARD_ROWS):
        c = row.find(lower)
        if c < 0:
            continue
        for rr in (r - 1, r, r + 1):
            if 0 <= rr < len(KEYBOARD_ROWS):
                for cc in (c - 1, c, c + 1):
                    if 0 <= cc < len(KEYBOARD_ROWS[rr]) and (rr, cc) != (r, c):
                        found += KEYBOARD_ROWS[rr][cc]
    if not found:
        found = "e"
    return found.upper() if letter.isupper() else found


class PageText(html.parser.HTMLParser):
    """The blocks of text of a page's display area."""

    def __init__(self) -> None:
        super().__init__(convert_charrefs=True)
        self.blocks: list[str] = []
        self.current: list[str] = []
        self.depth = 0  # open elements inside the display area; 0 outside it
        self.skipping = 0

    def flush(self) -> None:
        text = " ".join("".join(self.current).split())
        if text:
            self.blocks.append(text)
        self.current = []

    def handle_starttag(self, tag, attrs):
        if self.depth == 0:
            if tag == "div" and dict(attrs).get("id") == "DisplayArea":
                self.depth = 1
            return
        if tag in ("br", "img", "meta", "input", "hr", "link"):
            if tag == "br":
                self.flush()
            return
        self.depth += 1
        if tag in SKIPPED:
            self.skipping += 1
        if tag in BLOCKS:
            self.flush()

    def handle_endtag(self, tag):
        if self.depth == 0 or tag in ("br", "img", "meta", "input", "hr", "link"):
            return
        if tag in SKIPPED and self.skipping > 0:
            self.skipping -= 1
        if tag in BLOCKS:
            self.flush()
        self.depth -= 1
        if self.depth == 0:
            self.flush()

    def handle_data(self, data):
        if self.depth > 0 and self.skipping == 0:
            self.current.append(data)


def latin1(text: str) -> str:
    """The text with every character Latin-1 lacks replaced by a blank (typographic quotes and
    dashes by their plain forms)."""
    text = text.translate({0x2018: "'", 0x2019: "'", 0x201A: "'", 0x201C: '"', 0x201D: '"', 0x201E: '"',
                           0x2013: "-", 0x2014: "-", 0x2026: "...", 0xA0: " ", 0x2192: "->"})
    return "".join(ch if ord(ch) < 256 and (ord(ch) >= 32) else " " for ch in text)


def page_text(path: str) -> str:
    parser = PageText()
    with open(path, encoding="utf-8") as f:
        parser.feed(f.read())
    parser.close()
    parser.flush()
    sentences = []
    for block in parser.blocks:
        block = " ".join(latin1(block).split())
        if not block:
            continue
        if block[-1] in ",;":
            block = block[:-1]
        if block and block[-1] not in ".!?:":
            block += "."
        sentences.append(block)
    return " ".join(sentences)


def read_pages(help_dir: str) -> list[tuple[str, str]]:
    paths = []
    for root, dirs, files in os.walk(help_dir):
        dirs.sort()
        paths.extend(os.path.join(root, f) for f in sorted(files) if f.endswith(".html"))
    paths.sort()
    pages, seen = [], set()
    for path in paths:
        text = page_text(path)
        if len(text.split()) < MIN_WORDS or text in seen:
            continue
        seen.add(text)
        pages.append((os.path.relpath(path, help_dir), text))
    return pages


SENTENCE_END = re.compile(r"(?<=[.!?:])\s+")
WORD = re.compile(r"^[A-Za-zÄÖÜäöüß]+$")


def content_words(sentence: str) -> list[str]:
    words, seen = [], set()
    for raw in sentence.split():
        word = raw.strip(".,;:!?()\"'[]")
        if len(word) < 4 or not WORD.match(word) or word.lower() in FUNCTION_WORDS:
            continue
        if word.lower() in seen:
            continue
        seen.add(word.lower())
        words.append(word)
    return words


def typing_error(word: str, rnd: random.Random) -> str:
    kind = rnd.randrange(4)
    at = rnd.randrange(1, len(word))
    if kind == 0:
        return word[:at] + rnd.choice(neighbours(word[at])) + word[at + 1:]
    if kind == 1:
        return word[:at] + word[at + 1:]
    if kind == 2:
        return word[:at] + rnd.choice(neighbours(word[at - 1])) + word[at:]
    if at == len(word) - 1:
        at -= 1
    if at < 1 or word[at] == word[at + 1]:
        return word[:at] + word[at + 1:]  # swapping equal letters changes nothing: leave one out
    return word[:at] + word[at + 1] + word[at] + word[at + 2:]


def draw_queries(pages, count: int, rnd: random.Random, used: set):
    """count (page, sentence) draws with three content words, none drawn before."""
    drawn = []
    while len(drawn) < count:
        p = rnd.randrange(len(pages))
        sentences = SENTENCE_END.split(pages[p][1])
        s = rnd.randrange(len(sentences))
        if (p, s) in used:
            continue
        words = content_words(sentences[s])
        if len(words) < 3:
            continue
        used.add((p, s))
        picked = sorted(rnd.sample(range(len(words)), 3))
        drawn.append((pages[p][0], [words[i] for i in picked]))
    return drawn


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--help-dir", default=HELP_DIR)
    parser.add_argument("--out", required=True)
    parser.add_argument("--queries", type=int, default=1000)
    parser.add_argument("--tune", type=int, default=300)
    args = parser.parse_args()
    if not os.path.isdir(args.help_dir):
        print(f"helpCorpus: {args.help_dir} missing (scripts/install-deps --bench installs it)", file=sys.stderr)
        return 1
    pages = read_pages(args.help_dir)
    os.makedirs(args.out, exist_ok=True)
    with open(os.path.join(args.out, "corpus.tsv"), "w", encoding="latin-1", newline="\n") as f:
        for key, text in pages:
            f.write(f"{key}\t{text}\n")
    rnd = random.Random(SEED)
    used: set = set()
    with open(os.path.join(args.out, "queries.tsv"), "w", encoding="latin-1", newline="\n") as f:
        for prefix, count in (("", args.queries), ("tune-", args.tune)):
            drawn = draw_queries(pages, count, rnd, used)
            typos = [[typing_error(w, rnd) for w in words] for _, words in drawn]
            for name, make in (("exact", lambda i: drawn[i][1]), ("typo", lambda i: typos[i]),
                               ("lower", lambda i: [w.lower() for w in drawn[i][1]])):
                for i, (key, _) in enumerate(drawn):
                    f.write(f"{prefix}{name}\t{i}\t{key}\t{' '.join(make(i))}\n")
    words = sum(len(t.split()) for _, t in pages)
    print(f"helpCorpus: {len(pages)} pages, {words} words, {args.queries} + {args.tune} queries per set -> {args.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
