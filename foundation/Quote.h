// File names in messages, quoted the way GNU tools quote them (ls
// --quoting-style=shell-escape): a name a shell would take as it is
// stays as it is; any other is quoted for the shell, and its control
// characters and bytes that are not UTF-8 are written as $'\n' and
// $'\377' escapes. A name can then neither break a message into two lines
// nor send the terminal an escape sequence, and it can be pasted back into
// a shell.

#ifndef URDULEX_FOUNDATION_QUOTE_H_
#define URDULEX_FOUNDATION_QUOTE_H_

#include <string>

namespace urdulex::internal {

// `name` as it goes into a message: as it is when it holds only letters
// (of any script), digits and % + , - . / : @ _ ] (with # and ~ not in
// front, { and } not alone); else in single quotes, or double quotes when
// it holds a single quote and nothing a shell would change between double
// quotes, with the escapes above.
std::string QuoteName(const std::string& name);

// A name as messages show it: QuoteName of a file name; the names the
// programs give the standard streams ("standard input", "standard
// output"), which no file goes by, as they are.
std::string MessageName(const std::string& name);

}  // namespace urdulex::internal

#endif  // URDULEX_FOUNDATION_QUOTE_H_
