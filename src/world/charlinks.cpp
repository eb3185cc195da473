#include "world/charlinks.h"

CharacterLinkTable CharacterLinks = {};
