#version 330 core
// A linear gradient from color0 to color1 along `direction` (a unit vector in image space,
// y towards higher rows), spanning the whole image whatever its angle.
uniform vec4 color0;
uniform vec4 color1;
uniform vec2 direction;
in vec2 vUV;
out vec4 vColor;

void main()
{
    float halfSpan = 0.5 * (abs(direction.x) + abs(direction.y));
    float t = clamp(0.5 + dot(vUV - 0.5, direction) / (2.0 * max(halfSpan, 1e-6)), 0.0, 1.0);
    vColor = mix(color0, color1, t);
}
