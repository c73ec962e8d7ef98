// The standard benchmark documents, made with the project's own PSD builder:
// deterministic content that compresses like photographs.
#pragma once

#include <string>

#include "tests/support/psd_builder.h"

namespace peelbox::bench {

// 2000 x 1500, 20 RGBA layers of about a million pixels each, PackBits.
psdbuild::DocumentRecipe TypicalDocument();
// 6000 x 4000, 10 RGBA layers of 6 to 22 million pixels, PackBits.
psdbuild::DocumentRecipe LargeDocument();

// The typical document's layers at 16 bits, and in CMYK.
psdbuild::DocumentRecipe Typical16Document();
psdbuild::DocumentRecipe TypicalCmykDocument();

// 1200 x 900, 300 small RGBA layers: a layer panel's worth, for the dialog's
// tree.
psdbuild::DocumentRecipe ManyLayersDocument();

// "typical", "large", "typical16", "cmyk" or "many".
psdbuild::DocumentRecipe DocumentNamed(const std::string& name);

}  // namespace peelbox::bench
