// The reader for ARC.YZ1 by its first bytes: the xz magic takes the solid
// format (TTarReader), anything else is read as ZIP (TZipReader), as every
// archive was before the solid format. The plug-in and fmix verify choose
// with this one function, so they never disagree on the format.
#pragma once

#include <memory>

#include "zip/archive_reader.h"

class TZipSource;

std::unique_ptr<TArchiveReader> MakeArchiveReader(TZipSource& source);
