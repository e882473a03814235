"""The word-list workload the Python benchmarks share: the German word list and its seek texts.

The seek texts are found as workload_bench finds them: in the directory VESKOR_WORKLOADS names, or
in shared/workloads beside the checkout.
"""

from __future__ import annotations

import os

HERE = os.path.dirname(os.path.abspath(__file__))
WORD_LIST = "/usr/share/dict/ngerman"
QUERIES = os.path.join(os.environ.get("VESKOR_WORKLOADS", os.path.join(HERE, "..", "..", "shared", "workloads")),
                       "german-words-queries.txt")


def load_words() -> list[str]:
    """The list's words that Latin-1 can hold, in order (key = position + 1)."""
    words = []
    with open(WORD_LIST, encoding="utf-8") as f:
        for line in f:
            word = line.rstrip("\n")
            try:
                word.encode("latin-1")
            except UnicodeEncodeError:
                continue
            if word:
                words.append(word)
    return words
