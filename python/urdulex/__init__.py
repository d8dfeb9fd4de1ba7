"""Urdu text in Python: diacritics, normalization, tokens, word-form tables,
UZT and letter codes, over the urdulex C++ library.

The data files no argument names are found in the folder named by the
environment variable URDULEX_DATA when it is set (and only there: a
variable that names no folder, or a folder without the file, is an Error
naming it), else in the package's own data folder, which holds the shipped
word-form table, code table and normalization rules.
"""

import os

from ._urdulex import (
    ContextRules,
    Coverage,
    Error,
    Evaluation,
    LetterCodes as _LetterCodes,
    Normalizer,
    UztCodec,
    WordFormTable as _WordFormTable,
    WordFormTableBuilder,
    __version__,
    evaluate,
    merge_diacritics,
    split_diacritics,
    strip_diacritics,
    tokenize,
)

__all__ = [
    "ContextRules", "Coverage", "Error", "Evaluation", "LetterCodes", "Normalizer",
    "UztCodec", "WordFormTable", "WordFormTableBuilder", "__version__",
    "data_file", "evaluate", "merge_diacritics", "normalize",
    "split_diacritics", "strip_diacritics", "tokenize",
]

# Paths of the shipped files under a data folder.
_WORD_FORM_TABLE = "diacritizer/wordformshashtable.lex"
_CODE_TABLE = "codemapper/rules.txt"


def _data_folders():
    if os.environ.get("URDULEX_DATA"):
        return [os.environ["URDULEX_DATA"]]
    return [os.path.join(os.path.dirname(__file__), "data")]


def data_file(path):
    """The file `path` (e.g. "diacritizer/wordformshashtable.lex") in the
    data folder; Error when it is not there, or when URDULEX_DATA names no
    folder."""
    named = os.environ.get("URDULEX_DATA")
    if named and not os.path.isdir(named):
        raise Error("URDULEX_DATA names no folder: %r" % named)
    for folder in _data_folders():
        candidate = os.path.join(folder, path)
        if os.path.isfile(candidate):
            return candidate
    if named:
        raise Error("URDULEX_DATA folder %r holds no %s" % (named, path))
    raise Error("no %s in %s; set URDULEX_DATA to a data folder"
                % (path, " or ".join(_data_folders())))


class WordFormTable(_WordFormTable):
    __doc__ = _WordFormTable.__doc__

    def __init__(self, path=None):
        super().__init__(path if path is not None
                         else data_file(_WORD_FORM_TABLE))


class LetterCodes(_LetterCodes):
    __doc__ = _LetterCodes.__doc__

    def __init__(self, path=None):
        super().__init__(path if path is not None
                         else data_file(_CODE_TABLE))


_urdu_rules = None


def normalize(text):
    """`text` normalized by the shipped Urdu rules."""
    global _urdu_rules
    if _urdu_rules is None:
        _urdu_rules = Normalizer.urdu()
    return _urdu_rules.normalize(text)
