#pragma once
// A published folder read the way a launcher reads it, with every problem a player would meet.

#include <string>
#include <vector>

#include "update/minisign.h"

// One line per problem, naming the file and what is wrong; empty when a launcher would install
// and start the last version without a word. With a key, each document must come with a valid
// signature beside it, as a launcher built with that key requires.
std::vector<std::string> CheckServerFolder(const std::string& serverFolder,
                                           const minisign::PublicKey* key);
