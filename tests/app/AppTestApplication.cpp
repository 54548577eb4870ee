#include "support/WidgetTestApplication.h"
