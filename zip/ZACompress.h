#pragma once
// Compressing one item's data: the failure zlib reports.
#include "forms/sysutils.h"

namespace zip {

// zlib refused a step of the compression.
class ECompressionError : public forms::Exception {
 public:
  ECompressionError() : forms::Exception("error") {}
};

}  // namespace zip
