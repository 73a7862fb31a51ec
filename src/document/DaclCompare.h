// Whether giving a file one DACL instead of another widens who may do what
// with it. Both are self-relative security descriptors as the system reads
// them from a file (DACL_SECURITY_INFORMATION).
#pragma once

#include <cstdint>
#include <vector>

// True when a file with the descriptor now gives no one more than with
// before: each of its allowing entries was there before (kind, rights,
// trustee and flags, whether inherited aside) and each denying entry of
// before is still there. What cannot be read counts as more.
bool GrantsNoMore(const std::vector<uint8_t>& now, const std::vector<uint8_t>& before);
