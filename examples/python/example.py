"""Urdu text with the urdulex package: normalize, strip, split and merge,
tokenize, diacritize with the shipped table, and evaluate the result."""

import urdulex

sentence = "یہ كتاب بہت اچھی ہے۔"  # written with the Arabic kaf
normal = urdulex.normalize(sentence)
print("normalized:", normal)

table = urdulex.WordFormTable()  # the shipped table
diacritized = table.diacritize(normal)
print("diacritized:", diacritized)
print("stripped back:", urdulex.strip_diacritics(diacritized))

for kind, offset, word, marked, urdu in urdulex.tokenize(diacritized):
    if urdu:
        bare, symbols = urdulex.split_diacritics(word)
        assert urdulex.merge_diacritics(bare, symbols) == word
        print(offset, word, bare, symbols)

gold = "یہ کِتاب بَہُت اَچّھی ہَے۔"
result = urdulex.evaluate(gold, diacritized, table=table)
print("DER %.3f WER %.3f" % (result.der, result.wer))

try:
    urdulex.WordFormTable("no-such-table.lex")
except urdulex.Error as error:
    print("error:", error)
