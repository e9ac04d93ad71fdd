// The account's own directories on a POSIX system, for the library and the programs alike.
#pragma once

#include <string>

namespace omrix {

// The password database's home of the real user: what a raised program may trust. Empty
// when unknown.
std::string AccountHome();

// Makes `directory` and its missing parents, each new one open to its owner only. False when
// it is no directory afterwards.
bool MakePrivateDirectory(const std::string& directory);

}  // namespace omrix
