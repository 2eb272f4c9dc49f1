#include "BlockAnalysis.h"

void AnalyseBlock()
{
}
