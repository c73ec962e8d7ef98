// The standard benchmark documents, made with the project's own PSD builder:
// deterministic content that compresses like photographs.
#pragma once

#include <string>

#include "tests/support/psd_builder.h"

namespace peelbox::bench {

// 2000 x 1500, 20 RGBA layers of about a million pixels each, PackBits.
psdbuild::DocumentSpec TypicalDocument();
// 6000 x 4000, 10 RGBA layers of 6 to 22 million pixels, PackBits.
psdbuild::DocumentSpec LargeDocument();

// The typical document's layers at 16 bits, and in CMYK.
psdbuild::DocumentSpec Typical16Document();
psdbuild::DocumentSpec TypicalCmykDocument();

// "typical", "large", "typical16" or "cmyk".
psdbuild::DocumentSpec DocumentNamed(const std::string& name);

}  // namespace peelbox::bench
