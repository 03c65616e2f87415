#pragma once

namespace veltro {

// What a successful login grants: the role (which of Tools -> Users and Tools -> Settings are usable)
// and the three permissions (the meter-configuration controls, the communication-devices page, the
// local-display page).
enum class Role { Administrator, Setup, Operator };

struct LoginGrant {
    Role role = Role::Operator;
    bool meterConfiguration = false;  // "m-bus devices": `Group_advanced`, `Check_broadcast`, `Label_id`, `Label_addr`
    bool communicationPage = false;   // "communication": the second page, "   Communication devices   "
    bool displayPage = false;         // "display": the third page, "   Local display LDU   "

    bool usersMenuEnabled() const { return role == Role::Administrator; }
    bool settingsMenuEnabled() const { return role != Role::Operator; }
};

} // namespace veltro
