#pragma once
#include "kalto_fst.h"
