"""Urdu text in Python: diacritics, normalization, tokens, word-form tables,
UZT and letter codes, over the urdulex C++ library.

The data files no argument names are found in the folder named by the
environment variable URDULEX_DATA when it is set (and only there: a
variable that names no folder, or a folder without the file, is an Error
naming it), else in the package's own data folder, which holds the shipped
word-form table, code table and normalization rules.
"""

import os
from typing import NamedTuple

from ._urdulex import (
    ArgumentError,
    ContextRules,
    Coverage,
    Error,
    Evaluation,
    LetterCodes as _LetterCodes,
    Normalizer,
    TableError,
    TableNotFoundError,
    TextError,
    UztCodec,
    WordFormTable as _WordFormTable,
    WordFormTableBuilder,
    __version__,
    evaluate,
    merge_diacritics,
    split_diacritics,
    strip_diacritics,
    _tokenize,
)

__all__ = [
    "ArgumentError", "ContextRules", "Coverage", "Error", "Evaluation",
    "LetterCodes", "Normalizer", "TableError", "TableNotFoundError",
    "TextError", "Token", "UztCodec", "WordFormTable", "WordFormTableBuilder",
    "__version__", "data_file", "diacritize", "evaluate", "merge_diacritics",
    "normalize", "split_diacritics", "strip_diacritics", "tokenize",
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
    data folder; TableNotFoundError (an Error and a FileNotFoundError) when
    it is not there, or when URDULEX_DATA names no folder."""
    named = os.environ.get("URDULEX_DATA")
    if named and not os.path.isdir(named):
        raise TableNotFoundError("URDULEX_DATA names no folder: %r" % named)
    for folder in _data_folders():
        candidate = os.path.join(folder, path)
        if os.path.isfile(candidate):
            return candidate
    if named:
        raise TableNotFoundError("URDULEX_DATA folder %r holds no %s"
                                 % (named, path))
    raise TableNotFoundError("no %s in %s; set URDULEX_DATA to a data folder"
                % (path, " or ".join(_data_folders())))


class WordFormTable(_WordFormTable):
    __doc__ = _WordFormTable.__doc__

    def __init__(self, path=None):
        """Opens the table file `path`, or the shipped table."""
        super().__init__(path if path is not None
                         else data_file(_WORD_FORM_TABLE))


class LetterCodes(_LetterCodes):
    __doc__ = _LetterCodes.__doc__

    def __init__(self, path=None):
        """Reads the code table `path`, or the shipped one."""
        super().__init__(path if path is not None
                         else data_file(_CODE_TABLE))


class Token(NamedTuple):
    """A token of the diacritizer: its kind ("word", "separator",
    "overlong" or "blank"), its offset in characters, its text, whether it
    is a word carrying a mark that splitting lifts off (marked), and
    whether it holds an Arabic-script letter (urdu: the words the
    diacritizer looks up and counts). A tuple: it unpacks and indexes as
    (kind, offset, text, marked, urdu); str() of it is its text."""
    kind: str
    offset: int
    text: str
    marked: bool
    urdu: bool

    def __str__(self):
        return self.text


def tokenize(text, *, lines=False):
    """The tokens of `text` as the diacritizer cuts it, a list of Token;
    with `lines`, each line is one word. Their texts joined are `text`
    (less a leading byte-order mark)."""
    return _tokenize(text, lines=lines, token=Token)


_urdu_rules = None
_shipped_table = None


def diacritize(text, **options):
    """`text` diacritized by the shipped word-form table (opened once, on
    the first call), with the options of WordFormTable.diacritize."""
    global _shipped_table
    if _shipped_table is None:
        _shipped_table = WordFormTable()
    return _shipped_table.diacritize(text, **options)


def normalize(text):
    """`text` normalized by the shipped Urdu rules."""
    global _urdu_rules
    if _urdu_rules is None:
        _urdu_rules = Normalizer.urdu()
    return _urdu_rules.normalize(text)
