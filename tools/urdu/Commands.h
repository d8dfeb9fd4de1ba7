// The commands of `urdu`: for each, its help text and what runs it with its
// parsed command line (tools/urdu/Args.h), returning the exit status.
// urdu.cpp lists them with their options.

#ifndef URDULEX_TOOLS_URDU_COMMANDS_H_
#define URDULEX_TOOLS_URDU_COMMANDS_H_

#include "tools/urdu/Args.h"

namespace urdulex::internal {

// DiacritizeCommand.cpp
extern const char kDiacritizeHelp[];
int RunDiacritize(const Arguments& args);

// EvaluateCommand.cpp
extern const char kEvaluateHelp[];
int RunEvaluate(const Arguments& args);

// TextFilterCommands.cpp
extern const char kNormalizeHelp[];
int RunNormalize(const Arguments& args);
extern const char kStripHelp[];
int RunStrip(const Arguments& args);
extern const char kCodesHelp[];
int RunCodes(const Arguments& args);

// ReportCommand.cpp
extern const char kReportHelp[];
int RunReport(const Arguments& args);

// TableCommand.cpp
extern const char kTableHelp[];
int RunTable(const Arguments& args);

// UztCommand.cpp
extern const char kUztHelp[];
int RunUzt(const Arguments& args);

}  // namespace urdulex::internal

#endif  // URDULEX_TOOLS_URDU_COMMANDS_H_
