// The composite job as a JSON file (the format is described in docs/composite-job.md).
#pragma once

#include "composite/job.h"

#include <string>
#include <string_view>

namespace quillon {

// Largest job file read, in bytes.
inline constexpr std::size_t kMaxJobFileBytes = std::size_t{4} << 20;

// Reads a job file. Throws Error with a German message naming the file and, for a wrong
// value, the field (`Auftragsdatei "x.json": options.sizeFactor: Zahl von 0.01 bis 100
// erwartet, nicht 250`): for an unreadable or oversized file, text that is no JSON, unknown
// keys, values of the wrong kind and values outside their ranges.
CompositeJob readCompositeJob(const std::string& path);
// The same for the text of a job file; `source` names it in the messages.
CompositeJob parseCompositeJob(std::string_view text, const std::string& source = "");

// Writes the job through a temporary file that replaces `path` only when complete. Throws
// Error when the job fails validateCompositeJob, holds an exposure taken from an open window
// (a file cannot refer to it) or the file cannot be written.
void writeCompositeJob(const CompositeJob& job, const std::string& path);
// The text writeCompositeJob writes.
std::string formatCompositeJob(const CompositeJob& job);

} // namespace quillon
