#pragma once

// Analyses SampleBlock: called by the capture callback after each copy.
void AnalyseBlock();
