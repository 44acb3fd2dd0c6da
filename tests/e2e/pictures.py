"""Screenshots against headless stills: whether a picture shows a scene at all, and how far it is from the
still that doz-capture renders at a given music time."""
import os
import subprocess

from harness import Failure, read_rgb_image

BLOCK = 8


def luminances(rgb):
    return [(r * 299 + g * 587 + b * 114) // 1000 for r, g, b in zip(rgb[0::3], rgb[1::3], rgb[2::3])]


def describe(rgb):
    """Mean and spread of the luminance, and how many distinct colours (at 5 bits per channel) it holds."""
    lum = luminances(rgb)
    mean = sum(lum) / len(lum)
    spread = (sum((v - mean) ** 2 for v in lum) / len(lum)) ** 0.5
    colours = len({(r >> 3, g >> 3, b >> 3) for r, g, b in zip(rgb[0::3], rgb[1::3], rgb[2::3])})
    return mean, spread, colours


def block_means(rgb, width, height):
    """Mean colour of every BLOCK x BLOCK square: small shifts of edges and text weigh little."""
    means = []
    for by in range(0, height, BLOCK):
        for bx in range(0, width, BLOCK):
            sums = [0, 0, 0]
            count = 0
            for y in range(by, min(by + BLOCK, height)):
                row = (y * width + bx) * 3
                for x in range(bx, min(bx + BLOCK, width)):
                    offset = row + (x - bx) * 3
                    sums[0] += rgb[offset]
                    sums[1] += rgb[offset + 1]
                    sums[2] += rgb[offset + 2]
                    count += 1
            means.append(tuple(s / count for s in sums))
    return means


def difference(a, b, width, height):
    """Mean absolute difference of the block means, in 0..255 per channel."""
    blocks_a, blocks_b = block_means(a, width, height), block_means(b, width, height)
    total = sum(abs(x - y) for pa, pb in zip(blocks_a, blocks_b) for x, y in zip(pa, pb))
    return total / (3 * len(blocks_a))


def render_still(capture, music_time, width, height, folder):
    path = os.path.join(folder, f"still-{music_time:.4f}.png")
    done = subprocess.run([capture, "--at", f"{music_time:.6f}", "--size", f"{width}x{height}", "-o", path],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=300)
    if done.returncode != 0:
        raise Failure(f"doz-capture could not render {music_time} s: {done.stdout.strip()}")
    return read_rgb_image(path, width, height), path
