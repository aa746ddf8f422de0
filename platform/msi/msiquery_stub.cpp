#include "msi/msiquery.h"
