// Writing the book's text file next to the program.
//
// Promises: `WriteBookFile` names the file after the book title (converted from GBK to UTF-8, the
// file system's encoding) followed by ".txt", inside `directory` and nowhere else: a title that
// holds a path separator or a control character, or that the file system refuses, makes the write
// fail. The file is replaced whole or not at all: the content goes to a temporary file in the same
// directory, which is then renamed over the old one, so a failed export leaves an earlier file
// intact. Any thread may call these functions.
#pragma once

#include <string>

#include "text/text_ops.h"

// The directory that holds the running program, without a trailing separator; "." when the
// platform cannot tell.
std::string ProgramDirectory();

// The path `WriteBookFile` writes for this title, or empty when the title cannot name a file.
std::string BookFilePath(const std::string& directory, const Text& bookTitle);

// Writes `content` (GBK bytes, as they are) to the book's file; true when it is all on disk.
bool WriteBookFile(const std::string& directory, const Text& bookTitle, const Text& content);
