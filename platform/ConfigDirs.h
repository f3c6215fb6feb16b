// Where the program keeps its configuration.
//
// The user's folder holds the INI file and the address book; on Linux the program's own
// folder is not writable by its user, so this takes its place. The system folder holds an
// INI file whose "default" section the administrator may use to change the built-in
// defaults. Both can be moved by environment variables (tests use that).
#pragma once

#include <string>

// $MIVOKLIENT_CONFIG_DIR, else $XDG_CONFIG_HOME/mivoklient (an absolute XDG_CONFIG_HOME
// only), else $HOME/.config/mivoklient (the password database's home when HOME is unset).
// Empty variables count as unset. Never ends in "/" (unless it is "/" itself).
std::string UserConfigDir();

// Creates UserConfigDir() and any missing parent with mode 0700; an existing folder is
// kept as it is. False with the last error set to errno when it cannot be made.
[[nodiscard]] bool EnsureUserConfigDir();

// $MIVOKLIENT_SYSCONF_DIR, else /etc/mivoklient.
std::string SystemConfigDir();

// <user folder>/mivoklient.ini
std::string UserIniPath();

// <user folder>/addressbook: the certificates that the signature check may look up.
std::string AddressBookDir();

inline constexpr char kIniFileName[] = "mivoklient.ini";
