// The installer's own arguments as the command interpreter must receive
// them: as data, never as commands.
#pragma once

#include <stddef.h>

enum class BatchTail {
  kPassed,   // appended (or left off whole, not fitting, as for any program)
  kRefused,  // no form of them reaches the interpreter as plain data
};

// Appends the arguments of tail (split by the Windows command-line rules)
// to parameters, a text of capacity bytes that holds the publisher's own
// parameters. Each argument goes as it is when the interpreter would take it
// as one plain word, and in double quotes otherwise; quotesProtect says that
// the interpreter takes quoted characters literally (cmd.exe), without it
// (command.com of the 9x family) only arguments that need no quotes pass.
// Refused when an argument holds what no quoting keeps from the interpreter.
BatchTail AppendBatchArguments(const char* tail, char* parameters, size_t capacity, bool quotesProtect);
