// player: who this desk is on the site's server and what the server lets
// that login do. A site binds each person's rights in the server itself
// (PlayerSite.roles.pg.sql, docs/sites.md); the desk only asks, once per
// connection, so that the window and calldeck can grey out and refuse
// beforehand what the server would refuse anyway, and say why.
#pragma once

#include <string>

#include "player/core/index/store_state.h"

namespace player {

// What the server said at the last connection (ConnectAccess asks).
const SiteRights& CurrentSiteRights();
// Asks the open server connection; logs and tells once per run when the
// site file names a login other than this system account's (a login the
// site's desks share). Nothing on Player.mdb.
void AskSiteRights();
void ForgetSiteRights();

// Why the act is not allowed, "" when it is: "Your login op1 may not delete
// recordings on this site's server; deleting is for supervisors."
std::string WhyNoDelete();
std::string WhyNoHold();
// Throw RunError(kNotPermitted) with that reason and "Nothing was deleted."
// ("changed") when the act is not allowed.
inline constexpr int kNotPermitted = 70;
void RequireDeleteRight();
void RequireHoldRight();

}  // namespace player
