// Compiled as each platform's files are: what is below the platforms is
// seen, the register layer above them is not, so the last include fails.
#include "errline.h"
#include "platform.h"
#include "regmap.h"
#include "zr6410io.h"
