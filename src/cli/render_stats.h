// The --stats report of dorvanta-render: the pentagons the last painting found per order.
#pragma once

#include <cstdio>
#include <vector>

class FigureEngine;

// One line per painted order (in ascending order), then the total number of shape records.
void PrintPentagonStats(const FigureEngine& figure, const std::vector<int>& paintedOrders,
                        std::FILE* out);
