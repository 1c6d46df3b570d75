#include "resources/resource_ids.h"
