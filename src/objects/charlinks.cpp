#include "objects/charlinks.h"

CharacterLinkTable CharacterLinks = {};
