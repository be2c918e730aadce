#pragma once

struct FLinearColor {
  float R = 0, G = 0, B = 0, A = 0;

  FLinearColor() = default;
  FLinearColor(float r, float g, float b, float a = 1.0f) : R(r), G(g), B(b), A(a) {}
};
