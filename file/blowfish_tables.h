// The Blowfish initial P-array and S-boxes (the digits of pi).
#pragma once

#include <cstdint>

extern const std::uint32_t kBlowfishInitialP[18];
extern const std::uint32_t kBlowfishInitialS[4][256];
