#!/usr/bin/env python3
"""Each inflection class of lexicon_forms.py on one lemma's whole table of
forms, the overrides, and the lemmas a class refuses."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lexicon_forms  # noqa: E402


class FormsTest(unittest.TestCase):
    def test_every_class_gives_its_lemmas_whole_table(self):
        cases = [
            ("لَڑکا", "noun:m-a", "لَڑکا لَڑکے لَڑکوں"),
            ("بَچّہ", "noun:m-h", "بَچّہ بَچّے بَچّوں"),
            ("سایہ", "noun:m-h", "سایہ سائے سایوں"),
            ("رَوَیّہ", "noun:m-h", "رَوَیّہ رَوَیّے رَوَیّوں"),
            ("گھَر", "noun:m", "گھَر گھَروں"),
            ("آدمی", "noun:m", "آدمی آدمِیوں"),
            ("دَریا", "noun:m", "دَریا دَریاؤں"),
            ("بازُو", "noun:m", "بازُو بازُوؤں"),
            ("لَڑکی", "noun:f-i", "لَڑکی لَڑکِیاں لَڑکِیوں"),
            ("بِیوی", "noun:f-i", "بِیوی بِیوِیاں بِیوِیوں"),
            ("بَچّی", "noun:f-i", "بَچّی بَچِّیاں بَچِّیوں"),
            ("مَکّھی", "noun:f-i", "مَکّھی مَکّھِیاں مَکّھِیوں"),
            ("چِڑیا", "noun:f-ya", "چِڑیا چِڑیاں چِڑیوں"),
            ("کِتاب", "noun:f", "کِتاب کِتابیں کِتابوں"),
            ("دُعا", "noun:f", "دُعا دُعائیں دُعاؤں"),
            ("ماں", "noun:f", "ماں مائیں ماؤں"),
            ("حالات", "noun", "حالات"),
            ("اَچّھا", "adjective:a", "اَچّھا اَچّھے اَچّھی"),
            ("نَیا", "adjective:a", "نَیا نَئے نَئی"),
            ("لِکھنا", "verb",
             "لِکھنا لِکھنے لِکھنی لِکھ لِکھو لِکھِیے لِکھُوں لِکھے لِکھتا "
             "لِکھتی لِکھتے لِکھتِیں لِکھا لِکھی لِکھیں لِکھِیں"),
            ("سَمَجھنا", "verb",
             "سَمَجھنا سَمَجھنے سَمَجھنی سَمَجھ سَمجھو سَمجھِیے سَمجھُوں "
             "سَمجھے سَمَجھتا سَمَجھتی سَمَجھتے سَمَجھتِیں سَمجھا سَمجھی "
             "سَمجھیں سَمجھِیں"),
            ("بِکھَرنا", "verb",
             "بِکھَرنا بِکھَرنے بِکھَرنی بِکھَر بِکھرو بِکھرِیے بِکھرُوں "
             "بِکھرے بِکھَرتا بِکھَرتی بِکھَرتے بِکھَرتِیں بِکھرا بِکھری "
             "بِکھریں بِکھرِیں"),
            ("کھانا", "verb",
             "کھانا کھانے کھانی کھا کھاؤ کھائیے کھاؤں کھائے کھاتا کھاتی "
             "کھاتے کھاتِیں کھایا کھائی کھائیں"),
            ("پِینا", "verb",
             "پِینا پِینے پِینی پی پِیو پِیجِیے پِیُوں پِیے پِیتا پِیتی "
             "پِیتے پِیتِیں پِیا پِییں"),
            ("کَرنا", "verb",
             "کَرنا کَرنے کَرنی کَر کَرو کِیجِیے کَرُوں کَرے کَرتا کَرتی "
             "کَرتے کَرتِیں کِیا کی کِیے کَریں کِیں"),
        ]
        overrides = {"کَرنا": "polite=کِیجِیے perf.m.sg=کِیا perf.f.sg=کی "
                              "perf.m.pl=کِیے perf.f.pl=کِیں"}
        for lemma, klass, want in cases:
            with self.subTest(lemma=lemma, klass=klass):
                got = lexicon_forms.forms(lemma, klass,
                                          overrides.get(lemma, ""))
                self.assertEqual(want.split(), got)

    def test_overrides_replace_empty_and_add(self):
        self.assertEqual(
            ["رُوپیہ", "رُوپے", "رُوپوں"],
            lexicon_forms.forms("رُوپیہ", "noun:m-h",
                                "obl=رُوپے obl.pl=رُوپوں"))
        self.assertEqual(["بَرَس", "بَرسوں"],
                         lexicon_forms.forms("بَرَس", "noun:m",
                                             "obl.pl=بَرسوں"))
        self.assertEqual(["ہونا", "ہونے", "ہونی", "ہوتا"],
                         lexicon_forms.forms(
                             "ہونا", "verb",
                             "stem= imp= polite= subj.1sg= subj.3sg= subj.pl= "
                             "impf.f= impf.m.pl= impf.f.pl= perf.m.sg= "
                             "perf.f.sg= perf.m.pl= perf.f.pl="))
        self.assertEqual(["گھَر", "گھَروں", "گھَرانا"],
                         lexicon_forms.forms("گھَر", "noun:m", "+گھَرانا"))

    def test_a_class_that_does_not_fit_the_ending_is_refused(self):
        for lemma, klass in [("کِتاب", "noun:m-a"), ("کِتاب", "noun:f-i"),
                             ("لَڑکی", "noun:f"), ("کِتاب", "verb"),
                             ("نا", "verb"), ("بات", "noun:f-ya"),
                             ("اَچّھی", "adjective:a"), ("ماں", "noun:m"),
                             ("کِتاب", "noun:x"), ("گھَر", "noun:m")]:
            with self.subTest(lemma=lemma, klass=klass):
                with self.assertRaises(lexicon_forms.LemmaError):
                    lexicon_forms.forms(lemma, klass,
                                        "pl=x" if lemma == "گھَر" else "")


if __name__ == "__main__":
    unittest.main()
