#pragma once

#include "platform/AllowedClasses.h"

namespace vozi {

// The three named services the daemon listens on, and what they share.
//
//   service                       client           daemon exports      daemon calls
//   kZOLServerServiceName         UI application   IZOLServerService   IZOLClientService
//   kZOLMenuBarServerServiceName  menu-bar helper  IZOLEventServer     nothing
//   kUserAgentClientServiceName   per-user agent   UserAgentClient     UserAgent
//
// Each protocol has one description (serverServiceInterface(), ...) that
// both ends use: the receiver decodes calls and replies with its class
// lists, refusing anything outside them before delivery.
inline constexpr char kZOLServerServiceName[] = "div.ez.iru.server";
inline constexpr char kZOLMenuBarServerServiceName[] = "div.ez.iru.menuBarServer";
inline constexpr char kUserAgentClientServiceName[] = "div.ez.iru.UserAgentClient";

// Registers every record class that crosses the services: the item tree and
// exchange records, the notification records and the analytics event base.
// Any number of times, from any thread; every description calls it.
void registerServiceRecordClasses();

// What a usage event argument may be: the event record alone.
const platform::AllowedClasses& eventClasses();

}  // namespace vozi
