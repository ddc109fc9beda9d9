#include "mpeg/mp3_analyzer.h"
