// Turning a forwarding copy back into the site's own extension: what changes in its record when
// the site becomes the extension's home (a change of home, or a relocation onto it).
#pragma once

#include "server/ExtRec.h"
#include "server/RecordLayout.h"

namespace server {

// Whether the record forwards its calls by its dial string, as a forwarding copy does.
inline bool ForwardsByDialString(ConstExtRec r) {
    return (r.ExtStatusFlagBank() & extrec::kStatusForwards) != 0 && r.ForwardTarget() == extrec::kForwardToDialString;
}

// The record stops forwarding: its dial string cleared, the forward bits off, voice mail kept here.
inline void StopForwarding(ExtRec n) {
    n.SetBits(extrec::kExtStatusFlagBank, extrec::kStatusForwards, false);
    n.SetForwardTarget(extrec::kForwardStopped);
    n.Fill(extrec::kFwdDialString.offset, extrec::kFwdDialString.width - 1, 0);
    n.SetU8(extrec::kFwdDialClearMark, 0xFF);
    n.SetBits(extrec::kExtFeatureFlagBank, extrec::kFeatureFwd10000 | extrec::kFeatureFwd40000, false);
    n.SetFwdMailOptions(1);
}

}  // namespace server
