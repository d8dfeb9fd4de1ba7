#include "script/LexEnigneUtility.h"
