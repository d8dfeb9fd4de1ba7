"""The Python package against the `urdu` command on the same text: same
output, same coverage, same messages; and what only the package has."""

import os
import pathlib
import pickle
import subprocess
import sys
import threading

import pytest

import urdulex

SOURCE = os.environ.get("URDULEX_SOURCE_DIR",
                        os.path.join(os.path.dirname(__file__), "..", ".."))
URDU = os.environ.get("URDU")
PROSE = os.path.join(SOURCE, "data", "urdu", "prose.txt")
GOLD = os.path.join(SOURCE, "data", "urdu", "gold.txt")
RULES = os.path.join(SOURCE, "data", "diacritizer", "context.txt")
MAPPING = os.path.join(SOURCE, "data", "uzt", "test-mapping.txt")
TABLE = urdulex.data_file("diacritizer/wordformshashtable.lex")

needs_urdu = pytest.mark.skipif(URDU is None, reason="URDU names no program")


def urdu(*args, stdin=None):
    """Standard output of `urdu ARGS`, or its message after "urdu: "."""
    run = subprocess.run([URDU, *args], input=stdin, capture_output=True)
    if run.returncode != 0:
        return ("error", run.stderr.decode().strip().removeprefix("urdu: "))
    return run.stdout


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def api_error(call):
    with pytest.raises(urdulex.Error) as raised:
        call()
    return ("error", str(raised.value))


# (package call, `urdu` arguments) on the prose sample.
SAME_AS_URDU = [
    (lambda t: urdulex.WordFormTable(TABLE).diacritize(t),
     ["diacritize", "--table", TABLE]),
    (lambda t: urdulex.WordFormTable(TABLE).diacritize(t, ambiguous="first"),
     ["diacritize", "--table", TABLE, "--ambiguous", "first"]),
    (lambda t: urdulex.WordFormTable(TABLE).diacritize(
        t, fallback="keep", rules=urdulex.ContextRules(RULES)),
     ["diacritize", "--table", TABLE, "--fallback", "keep", "--rules", RULES]),
    (lambda t: urdulex.WordFormTable(TABLE).diacritize(t, ambiguous="common"),
     ["diacritize", "--table", TABLE, "--ambiguous", "common"]),
    (lambda t: urdulex.WordFormTable(TABLE).diacritize(t, ambiguous="all"),
     ["diacritize", "--table", TABLE, "--ambiguous", "all"]),
    (lambda t: urdulex.WordFormTable(TABLE).diacritize(t, ambiguous="keep",
                                                        lines=True),
     ["diacritize", "--table", TABLE, "--ambiguous", "keep", "--lines"]),
    (lambda t: urdulex.strip_diacritics(read(GOLD)), ["strip", GOLD]),
    (lambda t: urdulex.strip_diacritics(read(GOLD), keep_shadda=True),
     ["strip", "--keep-shadda", GOLD]),
    (lambda t: urdulex.normalize(t), ["normalize"]),
    (lambda t: "".join(urdulex.LetterCodes().map(line) + "\n"
                       for line in t.splitlines()), ["codes"]),
    (lambda t: urdulex.evaluate(read(GOLD), read(GOLD)).report(),
     ["evaluate", "--gold", GOLD, GOLD]),
]


@needs_urdu
@pytest.mark.parametrize("call, args", SAME_AS_URDU)
def test_same_output_as_urdu(call, args):
    text = read(PROSE)
    expected = urdu(*args, stdin=text.encode())
    assert call(text).encode() == expected


@needs_urdu
def test_uzt_same_bytes_as_urdu():
    codec = urdulex.UztCodec(MAPPING)
    text = read(GOLD)
    uzt = urdu("uzt", "encode", "--mapping", MAPPING, GOLD)
    assert codec.encode(text) == uzt
    assert codec.decode(uzt) == text


@needs_urdu
def test_coverage_as_urdu_reports_it():
    table = urdulex.WordFormTable(TABLE)
    coverage = table.coverage(read(PROSE))
    run = subprocess.run([URDU, "diacritize", "-v", "--table", TABLE, PROSE],
                         capture_output=True, check=True)
    line = ("urdu: %d Urdu words, %d known" % (coverage.words, coverage.known),
            "%d unknown, %d ambiguous; %d other" % (
                coverage.unknown, coverage.ambiguous, coverage.other))
    stderr = run.stderr.decode()
    assert stderr.startswith(line[0]) and line[1] in stderr
    assert coverage.known + coverage.unknown == coverage.words


# (coverage options, `urdu diacritize` options): the report and stats of
# the package are the files `urdu` writes, and those of two halves of the
# text, cut at a line end, add up to those of the whole.
@needs_urdu
@pytest.mark.parametrize("options, args", [
    ({}, []),
    ({"ambiguous": "first"}, ["--ambiguous", "first"]),
    ({"fallback": "keep"}, ["--fallback", "keep"]),
    ({"fallback": "common", "rules": urdulex.ContextRules(RULES)},
     ["--fallback", "common", "--rules", RULES]),
])
def test_report_and_stats_as_urdu_writes_them(options, args, tmp_path):
    text = read(PROSE) + "دریاۓ کتاباورقلم کِتاب xyz۔\n"
    table = urdulex.WordFormTable(TABLE)
    whole = table.coverage(text, lists=True, **options)
    output = urdu("diacritize", "--table", TABLE, *args, "--report",
                  str(tmp_path / "r"), "--stats", str(tmp_path / "s"),
                  stdin=text.encode())
    # One pass gives the text and its counts.
    assert table.diacritize_counted(text, lists=True, **options) == (
        output.decode(), whole)
    assert whole.report() == read(tmp_path / "r")
    assert whole.stats() == read(tmp_path / "s")
    assert whole.homographs and whole.unknown_words and whole.split_words
    cut = text.index("\n", len(text) // 2) + 1
    halves = [table.coverage(part, lists=True, **options)
              for part in (text[:cut], text[cut:])]
    for total in (halves[0] + halves[1], sum(halves)):
        assert (total.report(), total.stats()) == (whole.report(),
                                                   whole.stats())
    halves[0] += halves[1]
    assert halves[0] == whole == pickle.loads(pickle.dumps(whole))
    assert table.unknown_words(text) == whole.unknown_words


def two_form_table(directory, name, forms):
    builder = urdulex.WordFormTableBuilder()
    for form in forms:
        builder.add(form)
    builder.build(directory / name)
    return urdulex.WordFormTable(directory / name)


# (the table of each, the options of each, the failure of their sum).
@pytest.mark.parametrize("tables, a, b, fails", [
    ((["کِتاب", "کَتاب"],) * 2, {"lists": True}, {}, "lists and one without"),
    ((["کِتاب", "کَتاب"],) * 2, {"lists": True},
     {"lists": True, "ambiguous": "first"}, "context rules and of none"),
    ((["کِتاب", "کَتاب"], ["کِتاب", "کُتاب"]), {"lists": True},
     {"lists": True}, "reports of two tables"),
])
def test_coverages_that_do_not_add_up(tables, a, b, fails, tmp_path):
    first, second = (two_form_table(tmp_path, "%d.lex" % i, forms)
                     for i, forms in enumerate(tables))
    one, other = first.coverage("کتاب", **a), second.coverage("کتاب", **b)
    with pytest.raises(urdulex.Error, match=fails):
        one + other
    assert one.homographs[0][:3] == ("کتاب", 1, tuple(tables[0]))


def test_a_coverage_without_lists():
    coverage = urdulex.WordFormTable(TABLE).coverage("کتاب")
    assert coverage.unknown_words is None and coverage.homographs is None
    assert coverage.stats().startswith("# urdu diacritize stats 1\nwords\t1\n")
    with pytest.raises(Exception, match="lists=True"):
        coverage.report()


WORDS = os.path.join(SOURCE, "data", "diacritizer", "words.txt")


# (package call, `urdu` arguments, the advice `urdu` adds in its own terms
# after the message, which the package leaves out).
@needs_urdu
@pytest.mark.parametrize("call, args, advice", [
    (lambda: urdulex.WordFormTable("missing.lex"),
     ["diacritize", "--table", "missing.lex"], ""),
    (lambda: urdulex.WordFormTable(WORDS),
     ["diacritize", "--table", WORDS],
     ": build a table from it with `urdu table build " + WORDS +
     " -o table.lex` and give --table table.lex"),
    (lambda: urdulex.UztCodec("missing.txt"),
     ["uzt", "encode", "--mapping", "missing.txt"], ""),
    (lambda: urdulex.LetterCodes("missing.txt"),
     ["codes", "--table", "missing.txt"], ""),
    (lambda: urdulex.Normalizer.from_config("missing.ini"),
     ["normalize", "--config", "missing.ini"], ""),
    (lambda: urdulex.evaluate("کتاب قلم", "کتاب"),
     ["evaluate", "--gold", "GOLD", "PREDICTED"], ""),
])
def test_same_message_as_urdu(call, args, advice, tmp_path):
    os.chdir(tmp_path)
    (tmp_path / "GOLD").write_text("کتاب قلم")
    (tmp_path / "PREDICTED").write_text("کتاب")
    got = api_error(call)
    expected = urdu(*args, stdin=b"")
    # The package names its texts "gold" and "predicted", not files.
    expected = ("error", expected[1].replace("GOLD", "gold")
                .replace("PREDICTED", "predicted"))
    assert got[0] == expected[0] and got[1] + advice == expected[1]


@pytest.mark.parametrize("word, bare, symbols", [
    ("کِتاب", "کتاب", "RXXX"),
    ("قَلَم", "قلم", "ZZX"),
    ("اَچّھی", "اچھی", "ZSXXX"),
])
def test_split_and_merge(word, bare, symbols):
    assert urdulex.split_diacritics(word) == (bare, symbols)
    assert urdulex.merge_diacritics(bare, symbols) == word


def test_tokens_cover_the_text_with_character_offsets():
    text = "یہ کِتاب، «قلم» اور 42 books۔"
    tokens = urdulex.tokenize(text)
    assert "".join(t[2] for t in tokens) == text
    for kind, offset, piece, _, _ in tokens:
        assert text[offset:offset + len(piece)] == piece
    assert [t[2:] for t in tokens if t[0] == "word"] == [
        ("یہ", False, True), ("کِتاب", True, True), ("قلم", False, True),
        ("اور", False, True), ("42", False, False), ("books", False, False)]


def test_a_leading_byte_order_mark_counts_in_the_offsets():
    for text in ("\ufeffیہ کِتاب، قلم", "\ufeff", "\ufeff\ufeffکتاب"):
        tokens = urdulex.tokenize(text)
        for kind, offset, piece, _, _ in tokens:
            assert text[offset:offset + len(piece)] == piece, (text, piece)
        assert "".join(t[2] for t in tokens) == text.removeprefix("\ufeff")


@pytest.mark.parametrize("call", [
    lambda p: urdulex.WordFormTable(p),
    lambda p: urdulex.UztCodec(p),
    lambda p: urdulex.LetterCodes(p),
    lambda p: urdulex.Normalizer.from_config(p),
    lambda p: urdulex.Normalizer.from_rules(p),
    lambda p: urdulex.WordFormTableBuilder().build(p),
])
def test_paths_with_a_nul_are_refused_before_any_open(call, tmp_path):
    # "a" would be opened (or written) in the place of the whole path.
    os.chdir(tmp_path)
    (tmp_path / "a").write_bytes(open(TABLE, "rb").read())
    before = (tmp_path / "a").read_bytes()
    with pytest.raises(ValueError, match="null byte"):
        call("a\x00/etc/passwd")
    assert (tmp_path / "a").read_bytes() == before
    assert sorted(os.listdir(tmp_path)) == ["a"]


@pytest.mark.parametrize("make, message", [
    (lambda d: d / "missing", "names no folder"),
    (lambda d: (d / "link").symlink_to(d / "gone") or d / "link",
     "names no folder"),
    (lambda d: (d / "file").write_text("x") and d / "file", "names no folder"),
    (lambda d: (d / "empty").mkdir() or d / "empty", "holds no"),
])
def test_an_unusable_data_variable_is_an_error(make, message, tmp_path,
                                               monkeypatch):
    monkeypatch.setenv("URDULEX_DATA", str(make(tmp_path)))
    for call in (urdulex.WordFormTable, urdulex.LetterCodes):
        with pytest.raises(urdulex.Error,
                           match="^URDULEX_DATA (folder .*)?" + message):
            call()


def test_normalizer_changes_and_rules_file(tmp_path):
    urdu_rules = urdulex.Normalizer.urdu()
    text = "كتاب اور كمرہ"  # Arabic kaf twice
    changes = urdu_rules.changes(text)
    assert [c[0] for c in changes] == [0, 9]
    assert all(before == "ك" and after == "ک" for _, before, after in changes)
    assert not urdu_rules.is_normalized(text)
    assert urdu_rules.is_normalized(urdu_rules.normalize(text))
    rules = tmp_path / "rules.txt"
    rules.write_bytes("\ufeffب:پ\r\n".encode("utf-16-le"))
    assert urdulex.Normalizer.from_rules(str(rules)).normalize("باب") == "پاپ"


def test_builder_skips_and_the_table_finds(tmp_path):
    builder = urdulex.WordFormTableBuilder()
    assert builder.add("کِتاب") and builder.add("کَتاب", id=7)
    assert not builder.add("کِتاب")  # the same form again
    assert not builder.add("\u064e")  # a mark alone
    path = str(tmp_path / "t.lex")
    report = builder.build(path)
    assert report["forms"] == 2
    assert report["skipped"] == [("کِتاب", "duplicate"),
                                 ("\u064e", "no letters")]
    table = urdulex.WordFormTable(path)
    assert table.forms("کتاب") == ["کِتاب", "کَتاب"]
    assert table.diacritize("کتاب", ambiguous="all") == "کِتاب|کَتاب"
    with pytest.raises(urdulex.Error, match="slots cannot hold"):
        builder.build(path, slots=1)


@pytest.mark.parametrize("errors, expected", [
    ("skip", b""), ("substitute", b"?")])
def test_uzt_error_policies(errors, expected):
    codec = urdulex.UztCodec(MAPPING)
    assert codec.encode("\u4e00", errors=errors) == expected
    with pytest.raises(urdulex.Error, match="byte offset 0"):
        codec.encode("\u4e00")


def test_one_table_shared_by_threads():
    table = urdulex.WordFormTable(TABLE)
    text = read(PROSE)
    expected = table.diacritize(text, ambiguous="common")
    results = []
    threads = [threading.Thread(
        target=lambda: results.append(table.diacritize(text, ambiguous="common")))
        for _ in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == [expected] * 4


def test_table_is_the_file_as_opened(tmp_path):
    def build(name, words):
        builder = urdulex.WordFormTableBuilder()
        for word in words:
            builder.add(word)
        builder.build(str(tmp_path / name))
        return tmp_path / name
    other = build("other.lex", ["کَتاب", "قَلَم"]).read_bytes()
    for change in ("rewritten in place", "cut short", "emptied"):
        path = build("t.lex", ["کِتاب", "قَلَم"])
        table = urdulex.WordFormTable(str(path))
        assert len(other) == path.stat().st_size
        with open(path, "r+b") as f:
            if change == "rewritten in place":
                f.write(other)
            else:
                f.truncate(100 if change == "cut short" else 0)
        assert table.diacritize("کتاب قلم") == "کِتاب قَلَم", change
        assert table.forms("کتاب") == ["کِتاب"], change


def test_a_table_cut_short_under_faulthandler(tmp_path):
    # faulthandler's SIGBUS handler comes first: a table cut short after
    # it is opened neither crashes the process nor changes its answers.
    script = """if True:
        import faulthandler, os, sys
        import urdulex
        faulthandler.enable()
        path = sys.argv[1]
        builder = urdulex.WordFormTableBuilder()
        builder.add("کِتاب")
        builder.build(path)
        table = urdulex.WordFormTable(path)
        os.truncate(path, 0)
        print(table.diacritize("کتاب"))
    """
    run = subprocess.run(
        [sys.executable, "-c", script, str(tmp_path / "t.lex")],
        capture_output=True, env=os.environ)
    assert run.returncode == 0, run.stderr.decode()
    assert run.stdout.decode().strip() == "کِتاب"


def test_installs_offline_into_a_virtual_environment(tmp_path):
    dist = os.path.join(os.path.dirname(urdulex.__file__), "..", "dist")
    if not os.path.isdir(dist):
        pytest.skip("no wheel beside the package: not the build tree's")
    wheels = [w for w in os.listdir(dist) if w.endswith(".whl")]
    venv = tmp_path / "v"
    subprocess.run([sys.executable, "-m", "venv", str(venv)], check=True)
    subprocess.run([str(venv / "bin" / "pip"), "install", "-q", "--no-index",
                    os.path.join(dist, wheels[0])], check=True)
    script = ("import urdulex; t = urdulex.WordFormTable(); "
              "print(t.diacritize(urdulex.normalize('كتاب')))")
    env = {k: v for k, v in os.environ.items()
           if k not in ("PYTHONPATH", "URDULEX_DATA")}
    run = subprocess.run([str(venv / "bin" / "python"), "-c", script],
                         capture_output=True, check=True, cwd=tmp_path, env=env)
    assert run.stdout.decode().strip() == "کِتاب"


# (call, the exceptions it raises, a part of the message).
@pytest.mark.parametrize("call, raises, message", [
    (lambda d: urdulex.WordFormTable(d / "missing.lex"),
     (urdulex.TableNotFoundError, FileNotFoundError, urdulex.TableError),
     "missing.lex"),
    (lambda d: urdulex.WordFormTable(WORDS), (urdulex.TableError, OSError),
     "word list"),
    (lambda d: urdulex.ContextRules((d / "r").write_text("x y z") and d / "r"),
     (urdulex.TableError,), ""),
    (lambda d: urdulex.WordFormTableBuilder().build(d / "no" / "t.lex"),
     (urdulex.TableNotFoundError,), ""),
    (lambda d: urdulex.diacritize("کتاب", ambiguous="x"),
     (urdulex.ArgumentError, ValueError), "ambiguous wants"),
    (lambda d: urdulex.WordFormTable().coverage("کتاب", fallback="context"),
     (urdulex.ArgumentError,), "fallback wants"),
    (lambda d: urdulex.UztCodec(MAPPING).encode("a", errors="x"),
     (urdulex.ArgumentError,), "errors wants"),
    (lambda d: urdulex.WordFormTable().diacritize("ab\ud800"),
     (urdulex.TextError, UnicodeError), "text holds a lone surrogate U+D800 "
     "at character 2"),
    (lambda d: urdulex.tokenize(b"abc"), (TypeError,),
     "text must be str, not bytes"),
    (lambda d: urdulex.WordFormTable().forms(b"abc"), (TypeError,),
     "word must be str"),
    (lambda d: urdulex.WordFormTable(TABLE.encode()), (TypeError,),
     "path must be str or os.PathLike"),
])
def test_errors_python_code_catches(call, raises, message, tmp_path):
    with pytest.raises(raises[0]) as raised:
        call(tmp_path)
    assert isinstance(raised.value, raises) and message in str(raised.value)
    if not isinstance(raised.value, TypeError):
        assert isinstance(raised.value, urdulex.Error)


# (opener, path, a use): opened by a pathlib.Path, and a pickled copy
# (which opens the file again) does the same.
@pytest.mark.parametrize("open_path, path, use", [
    (urdulex.WordFormTable, TABLE, lambda o, t: o.diacritize(t)),
    (urdulex.LetterCodes, urdulex.data_file("codemapper/rules.txt"),
     lambda o, t: o.map(t[:80])),
    (urdulex.ContextRules, RULES,
     lambda o, t: urdulex.diacritize(t, fallback="keep", rules=o)),
    (urdulex.Normalizer.from_config,
     urdulex.data_file("normalization/config.ini"),
     lambda o, t: o.normalize(t)),
    (urdulex.UztCodec, MAPPING, lambda o, t: o.encode(t, errors="skip")),
])
def test_paths_and_pickling(open_path, path, use):
    opened = open_path(pathlib.Path(path))
    text = read(PROSE)
    for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
        again = pickle.loads(pickle.dumps(opened, protocol))
        assert type(again) is type(opened)
        assert use(again, text) == use(opened, text)


# An object made by __new__ alone holds nothing: every use is a TypeError,
# as is pickling what does not pickle, by any protocol.
def test_objects_not_initialised_and_not_pickled():
    uses = [
        (urdulex.WordFormTable, lambda o: o.diacritize("کتاب")),
        (urdulex.WordFormTable, lambda o: o.path),
        (urdulex.Normalizer, lambda o: o.normalize("x")),
        (urdulex.Coverage, lambda o: o.unknown_words),
        (urdulex.ContextRules, len),
        (urdulex.WordFormTableBuilder, lambda o: o.add("کتاب")),
        (urdulex.UztCodec, lambda o: o.encode("x")),
        (urdulex.LetterCodes, lambda o: o.map("x")),
        (urdulex.Evaluation, lambda o: o.report()),
    ]
    for cls, use in uses:
        with pytest.raises(TypeError, match="not initialised"):
            use(cls.__new__(cls))
    for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
        with pytest.raises(TypeError, match="cannot pickle"):
            pickle.dumps(urdulex.WordFormTableBuilder(), protocol)


def test_shipped_objects_pickle():
    for made in (urdulex.Normalizer.urdu(), urdulex.ContextRules.shipped(),
                 urdulex.ContextRules.parse(read(RULES), "r")):
        assert len(pickle.loads(pickle.dumps(made))) == len(made)


# A result of megabytes is decoded on every core: the str its pieces give one
# by one, whatever its widest character (ASCII, Latin-1, Urdu, an emoji).
def test_long_results_are_their_pieces():
    table = urdulex.WordFormTable(TABLE)
    prose = read(PROSE)
    for piece in ("plain words\n" * 4000, "caf\u00e9\n" * 8000, prose,
                  "\U0001F600\u2014 " + prose):
        piece *= (1 << 20) // len(piece.encode("utf-8")) + 1
        expected = table.diacritize(piece) * 10
        assert table.diacritize(piece * 10) == expected
        assert table.diacritize_counted(piece * 10)[0] == expected
    at = len(piece) * 10
    with pytest.raises(urdulex.TextError,
                       match="U\\+DC00 at character %d:" % at):
        table.diacritize(piece * 10 + "\udc00")


def test_shipped_table_and_a_batch():
    table = urdulex.WordFormTable()
    lines = read(PROSE).splitlines(True)
    assert urdulex.diacritize(lines[0], ambiguous="all") == table.diacritize(
        lines[0], ambiguous="all")
    assert table.diacritize_many(iter(lines), ambiguous="common") == [
        table.diacritize(line, ambiguous="common") for line in lines]
    with pytest.raises(TypeError, match="texts item must be str"):
        table.diacritize_many(["کتاب", b"x"])


def test_tokens_are_named_tuples():
    kind, offset, text, marked, urdu_word = token = urdulex.tokenize("کِتاب")[0]
    assert isinstance(token, urdulex.Token) and token[2] == token.text
    assert (token.kind, token.offset, str(token)) == ("word", 0, "کِتاب")


def test_every_public_name_has_a_doc():
    missing = []
    for name in urdulex.__all__:
        value = getattr(urdulex, name)
        if not isinstance(value, (type, type(len))) and not callable(value):
            continue
        members = [(name, value)]
        if isinstance(value, type):
            members += [(name + "." + n, m) for n, m in vars(value).items()
                        if not n.startswith("_") or n == "__init__"]
        missing += [n for n, m in members if not (m.__doc__ or "").strip()]
    assert missing == []


def test_words_from_the_memo_are_the_tables():
    table = urdulex.WordFormTable()
    words = [t.text for t in urdulex.tokenize(read(PROSE)) if t.kind == "word"]
    first = [table.diacritize(w) for w in words]  # kept, then found again
    assert first == [table.diacritize(w) for w in words] == [
        table._diacritize(w) for w in words]
    assert table.diacritize(words[0], ambiguous="all", lines=True) == (
        table._diacritize(words[0], ambiguous="all", lines=True))
    assert pickle.loads(pickle.dumps(table)).diacritize(words[1]) == first[1]
