"""Types of the urdulex extension module; urdulex re-exports them."""

import os
from typing import Iterable, List, NamedTuple, Optional, Tuple, Union

__version__: str

Path = Union[str, "os.PathLike[str]"]

class Error(Exception):
    """Every failure of urdulex, with a one-line message saying what failed
    and naming the file; its subclasses say which kind of failure."""

class TableError(Error, OSError):
    """A data file (word-form table, code table, mapping, rules,
    configuration) that cannot be opened, read or written, or is not of
    its kind; an OSError too."""

class TableNotFoundError(TableError, FileNotFoundError):
    """A data file that does not exist; a FileNotFoundError too."""

class ArgumentError(Error, ValueError):
    """An argument out of its range (ambiguous="x", a path with a NUL); a
    ValueError too."""

class TextError(Error, UnicodeError):
    """A str argument that is not Unicode text (a lone surrogate); a
    UnicodeError too."""

class Token(NamedTuple):
    """A token of the diacritizer (urdulex.Token): a tuple (kind, offset,
    text, marked, urdu); str() of it is its text."""
    kind: str
    offset: int
    text: str
    marked: bool
    urdu: bool

def split_diacritics(word: str) -> Tuple[str, str]:
    """The bare letters of `word` and its symbolic string, one capital a
    letter: Z fatha, R kasra, P damma, J sukun, K superscript alef,
    D fathatan, S shadda (then the vowel or X), M madda, X none."""

def merge_diacritics(bare: str, symbols: str) -> str:
    """The word `bare` with the marks of `symbols` put back; surplus symbols
    are ignored, letters past the last symbol stay bare."""

def strip_diacritics(text: str, *, keep_shadda: bool = False) -> str:
    """`text` without its Arabic-script combining marks; no letter is
    lost."""

def tokenize(text: str, *, lines: bool = False) -> List[Token]:
    """The tokens of the diacritizer, Token(kind, offset, text, marked,
    urdu) with kind "word", "separator", "overlong" or "blank", offset in
    characters, marked true for a word carrying a mark that splitting lifts
    off, and urdu true for a word holding an Arabic-script letter (the words
    the diacritizer looks up and counts). With `lines`, each line is one
    word."""

def diacritize(text: str, *, ambiguous: str = "context",
               fallback: str = "first",
               rules: Optional["ContextRules"] = None,
               lines: bool = False, normalize: bool = False) -> str:
    """`text` diacritized by the shipped word-form table, opened once on
    the first call (WordFormTable.diacritize)."""

def normalize(text: str) -> str:
    """`text` normalized by the shipped Urdu rules."""

def data_file(path: str) -> str:
    """The file `path` in the data folder; TableNotFoundError when it is
    not there."""

class Normalizer:
    """Replacement rules of Urdu normalization, compiled; share one object
    between threads freely. Pickled, it is opened again from where it
    came."""
    @staticmethod
    def urdu() -> Normalizer:
        """The shipped Urdu rules, built into the library."""
    @staticmethod
    def from_config(path: Path) -> Normalizer:
        """The NFC rules a configuration file (config.ini) names."""
    @staticmethod
    def from_rules(path: Path) -> Normalizer:
        """The rules of a 16-bit rules file ("pattern:replacement")."""
    def normalize(self, text: str) -> str:
        """`text` normalized."""
    def is_normalized(self, text: str) -> bool:
        """Whether normalizing changes nothing."""
    def changes(self, text: str) -> List[Tuple[int, str, str]]:
        """The replacements normalize makes: (offset in characters, before,
        after), in text order."""
    def __len__(self) -> int:
        """Number of rules."""

class Coverage:
    """The counts of a diacritization: Urdu words (with an
    Arabic-script letter) looked up, known, unknown, ambiguous (known with
    several forms), other words passed through; among the known, those
    left as written for their marks fit no form (kept); and the words
    found as known parts (split), whose parts are counted as words."""
    words: int
    known: int
    unknown: int
    ambiguous: int
    other: int
    kept: int
    split: int
    def __init__(self) -> None:
        """No counts, and empty lists: what adds nothing."""
    @property
    def unknown_words(self) -> Optional[List[Tuple[str, int]]]:
        """The words the table does not know, (word, count), most frequent
        first, equal counts in the order of their UTF-16 text; None
        without lists (coverage(..., lists=True))."""
    @property
    def homographs(self) -> Optional[
            List[Tuple[str, int, Tuple[str, ...], Optional[int],
                       Optional[int]]]]:
        """The words found with several forms, (bare, count, forms,
        by_rules, by_fallback): the forms in table order; with context
        rules how often they chose its reading and how often the fallback
        did (else None); in the order of unknown_words."""
    @property
    def kept_words(self) -> Optional[List[Tuple[str, int]]]:
        """The known words left as written, their marks fitting no form."""
    @property
    def split_words(self) -> Optional[List[Tuple[str, int]]]:
        """The words written as known parts."""
    def report(self) -> str:
        """The lists as the report file of `urdu diacritize --report`
        (doc/stats.md); ArgumentError without lists."""
    def stats(self) -> str:
        """The counts as the stats file of `urdu diacritize --stats`
        ("# urdu diacritize stats 1", then NAME<TAB>COUNT lines)."""
    def __add__(self, other: "Coverage") -> "Coverage":
        """The coverage of both texts: counts added, lists merged as
        `urdu report merge` adds up reports. Error for lists of two tables
        or of context rules and none; ArgumentError for one with lists and
        one without. sum() of coverages works too."""
    def __iadd__(self, other: "Coverage") -> "Coverage": ...
    def __radd__(self, other: int) -> "Coverage": ...

class ContextRules:
    """Rules choosing the reading of a homograph by the words around it
    (doc/context-rules.md), read from a file; a file that is no rules file
    raises TableError saying where (NAME:LINE:COLUMN). Pickled, they are
    read again from where they came."""
    def __init__(self, path: Path) -> None: ...
    @staticmethod
    def parse(text: str, name: str = "rules") -> "ContextRules":
        """The rules of `text`, named `name` in messages."""
    @staticmethod
    def shipped() -> "ContextRules":
        """The rules shipped with the library."""
    def __len__(self) -> int: ...

class WordFormTable:
    """A word-form table file, read once; share one object between threads
    freely. Without a path, the shipped table (see urdulex.data_file).
    Pickled, it is opened again from its path."""
    def __init__(self, path: Optional[Path] = None) -> None: ...
    @property
    def path(self) -> str: ...
    def forms(self, word: str) -> List[str]:
        """Every form of `word` in table order, found as diacritize finds
        it; of a word with marks only the forms that agree with them;
        empty when unknown."""
    def diacritize(self, text: str, *, ambiguous: str = "context",
                   fallback: str = "first",
                   rules: Optional["ContextRules"] = None,
                   lines: bool = False, normalize: bool = False) -> str:
        """Running text with each known word in its diacritized form.
        `ambiguous` is what a word with several forms becomes: "context"
        (the reading `rules`, by default ContextRules.shipped(), choose by
        its neighbours in its sentence; where none applies, as `fallback`
        says), "first", "common" (only the marks all forms share), "keep"
        or "all" (form1|form2). With `lines`, each line is one word. With
        `normalize`, a found word is written as the table's form, not as
        its marks on the text's letters (urdu diacritize --normalize)."""
    def diacritize_counted(self, text: str, *, ambiguous: str = "context",
                           fallback: str = "first",
                           rules: Optional["ContextRules"] = None,
                           lines: bool = False, normalize: bool = False,
                           lists: bool = False) -> Tuple[str, Coverage]:
        """(diacritize(text, ...), coverage(text, ...)) in one pass over the
        text."""
    def diacritize_many(self, texts: Iterable[str], *,
                        ambiguous: str = "context", fallback: str = "first",
                        rules: Optional["ContextRules"] = None,
                        lines: bool = False,
                        normalize: bool = False) -> List[str]:
        """[diacritize(text, ...) for text in texts], the GIL released
        across the whole batch."""
    def coverage(self, text: str, *, lines: bool = False,
                 lists: bool = False, ambiguous: str = "context",
                 fallback: str = "first",
                 rules: Optional["ContextRules"] = None) -> Coverage:
        """How many words of `text` the table knows, diacritized with the
        options of diacritize; with `lists`, also which words (the
        unknown, the homographs, the kept and the split words)."""
    def unknown_words(self, text: str, *,
                      lines: bool = False) -> List[Tuple[str, int]]:
        """The words of `text` the table does not know, (word, count),
        most frequent first."""

class WordFormTableBuilder:
    """Diacritized words to a word-form table file."""
    def __init__(self) -> None: ...
    def add(self, word: str, id: int = 0xFFFFFFFF, tag: int = 0,
            flag: int = 0) -> bool:
        """Adds a word; False when it is skipped (build lists why)."""
    def build(self, path: Path, *, slots: int = 0) -> dict:
        """Writes the table file (replaced whole); slots 0 sizes it for
        the forms at the builder's usual load factor. Returns {"forms",
        "slots", "skipped"}, skipped being (word, reason) pairs."""

class UztCodec:
    """UZT, the 8-bit Urdu code page, through a mapping file. Pickled, it
    is opened again from its path."""
    def __init__(self, mapping: Path) -> None: ...
    def encode(self, text: str, *, errors: str = "fail") -> bytes:
        """Text to UZT; errors "fail", "skip" or "substitute" ('?')."""
    def decode(self, uzt: bytes, *, errors: str = "fail") -> str:
        """UZT to text; errors "fail", "skip" or "substitute" ('?')."""

class LetterCodes:
    """A code table: lines of text as the decimal codes of their letters,
    as the codemapper program writes them. Without a path, the shipped
    table. Pickled, it is opened again from its path."""
    def __init__(self, path: Optional[Path] = None) -> None: ...
    def map(self, line: str) -> str:
        """The codes of one line (without its line end)."""

class Evaluation:
    """The measures of a diacritization against a gold text."""
    words: int
    letters: int
    letter_errors: int
    last_letter_errors: int
    word_errors: int
    word_errors_before_last: int
    covered: int
    covered_exactly: int
    @property
    def der(self) -> float:
        """Letters with wrong marks / letters."""
    @property
    def wer(self) -> float:
        """Words with a wrong letter / words."""
    @property
    def der_before_last(self) -> float: ...
    @property
    def wer_before_last(self) -> float: ...
    def report(self) -> str:
        """The report of the measures, one a line."""

def evaluate(gold: str, predicted: str, *,
             table: Optional[WordFormTable] = None) -> Evaluation:
    """Compares a diacritized text with the gold text word by word; with a
    table, also counts its coverage of the gold words."""
