#include "cipserialize.h"
