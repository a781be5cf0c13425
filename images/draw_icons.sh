#!/bin/sh
# Redraws the PNG icons in this directory.
#   sh images/draw_icons.sh
# Set CONVERT to choose which "convert" binary is used.
#
# Every shape is drawn at 4x size and scaled down, which gives clean
# anti-aliased edges. Coordinates below are in final-size pixels
# (128x128 for icons, 192x96 for button faces).
set -e
cd "$(dirname "$0")"
CONVERT=${CONVERT:-convert}

# ---- palette -------------------------------------------------------------
INK='#263545'        # outlines, pins, cables
BLUE='#2f7fd8'
BLUE_L='#d6e6f9'
GREEN='#2eaa5c'
RED='#e0483b'
AMBER='#f2a83b'
AMBER_L='#f8cb7a'
AMBER_D='#d88a26'
WHITE='#ffffff'

# common drawing state for 128x128 icons: 6 px outline, round joins
PEN="scale 4,4 stroke '$INK' stroke-width 6 stroke-linejoin round stroke-linecap round"

# write an icon: icon NAME MVG
icon() {
    "$CONVERT" -size 512x512 xc:none -draw "$PEN $2" \
        -filter Lanczos -resize 128x128 \
        -depth 8 -strip -define png:exclude-chunks=date,time "$1.png"
}

# chip body with three pins per side; $1 = body colour
chip() {
    pins=''
    for p in 46 64 82; do
        pins="$pins line 18,$p 30,$p line 98,$p 110,$p"
        pins="$pins line $p,18 $p,30 line $p,98 $p,110"
    done
    echo "$pins fill '$1' roundrectangle 30,30 98,98 9,9"
}

# ---- toolkit_2: application icon, chip with a wrench ----------------------
WRENCH="path 'M -16.58,-7 L -4,-7 L -4,7 L -16.58,7 A 18,18 0 0,0 16.12,8
          L 56,8 A 8,8 0 0,0 56,-8 L 16.12,-8 A 18,18 0 0,0 -16.58,-7 Z'"
icon toolkit_2 "$(chip "$BLUE")
    stroke none fill '$BLUE_L' circle 42,42 42,46
    stroke '$INK' fill '$AMBER'
    push graphic-context translate 84,44 rotate 135 $WRENCH pop graphic-context"

# ---- settings: gear --------------------------------------------------------
GEAR=$(awk 'BEGIN {
    pi = atan2(0, -1); cx = 64; cy = 64; ro = 54; ri = 43; n = 8
    s = ""
    for (i = 0; i < n; i++) {
        a = i * 360 / n
        split((a - 13) " " (a - 7) " " (a + 7) " " (a + 13), ang, " ")
        split(ri " " ro " " ro " " ri, rad, " ")
        for (k = 1; k <= 4; k++) {
            t = ang[k] * pi / 180
            s = s sprintf("%s %.2f,%.2f ", (i == 0 && k == 1) ? "M" : "L",
                          cx + rad[k] * cos(t), cy + rad[k] * sin(t))
        }
    }
    print s "Z"
}')
icon settings "fill-rule evenodd fill '$BLUE'
    path '$GEAR M 82,64 A 18,18 0 1,0 46,64 A 18,18 0 1,0 82,64 Z'"

# ---- connect / disconnect: plug and socket on a diagonal -------------------
icon connect "push graphic-context translate 64,64 rotate -45
    line -72,0 -36,0 line 38,0 72,0
    fill '$GREEN' roundrectangle -2,-24 38,24 7,7
    roundrectangle -36,-17 -2,17 5,5
    pop graphic-context"

icon disconnect "push graphic-context translate 64,64 rotate -45
    line -72,0 -50,0 line 42,0 72,0
    line -18,-8 -4,-8 line -18,8 -4,8
    fill '$RED' roundrectangle 4,-24 44,24 7,7
    roundrectangle -50,-17 -16,17 5,5
    stroke '$RED' stroke-width 5
    line -6,-30 -6,-40 line -14,-29 -19,-37 line 2,-29 7,-37
    line -6,30 -6,40 line -14,29 -19,37 line 2,29 7,37
    pop graphic-context"

# ---- package: closed box with tape ------------------------------------------
icon package "fill '$AMBER_L' polygon 64,14 112,38 64,62 16,38
    fill '$AMBER' polygon 16,38 64,62 64,114 16,90
    fill '$AMBER_D' polygon 64,62 112,38 112,90 64,114
    stroke-width 3 fill '$WHITE'
    polygon 34,29 46,23 94,47 82,53
    polygon 82,53 94,47 94,69 82,75"

# ---- OTA: chip with an up arrow -------------------------------------------
icon OTA "$(chip "$BLUE")
    fill '$GREEN' stroke-width 5
    polygon 64,38 86,62 73,62 73,88 55,88 55,62 42,62"

# ---- clear: eraser on a line -----------------------------------------------
icon clear "line 52,106 112,106
    stroke-width 5 line 14,106 24,106 line 32,106 40,106
    stroke-width 6
    push graphic-context translate 72,58 rotate -40
    fill '$BLUE' path 'M -12,-18 L 36,-18 A 6,6 0 0,1 42,-12 L 42,12
                       A 6,6 0 0,1 36,18 L -12,18 Z'
    fill '$BLUE_L' path 'M -12,-18 L -36,-18 A 6,6 0 0,0 -42,-12 L -42,12
                         A 6,6 0 0,0 -36,18 L -12,18 Z'
    pop graphic-context"

# ---- push-button faces (192x96) ------------------------------------------
# face NAME TOP_COLOUR BOTTOM_COLOUR BORDER_COLOUR PRESSED(0/1) GLYPH_FUNC
face() {
    if [ "$5" = 1 ]; then
        dx=1; dy=2
        rim="stroke 'rgba(0,0,0,0.22)' stroke-width 3 fill none
             path 'M 8,20 A 16,16 0 0,1 22,6 L 170,6 A 16,16 0 0,1 184,20'"
    else
        dx=0; dy=0
        rim="stroke 'rgba(255,255,255,0.45)' stroke-width 2 fill none
             path 'M 7,22 A 16,16 0 0,1 23,6 L 169,6 A 16,16 0 0,1 185,22'"
    fi
    "$CONVERT" -size 768x384 gradient:"$2"-"$3" \
        \( -size 768x384 xc:black -fill white \
           -draw "scale 4,4 roundrectangle 2,2 189,93 18,18" \) \
        -alpha off -compose CopyOpacity -composite -compose Over \
        -draw "scale 4,4 $rim" \
        -draw "scale 4,4 stroke '$4' stroke-width 3 fill none
               roundrectangle 2,2 189,93 18,18" \
        -draw "scale 4,4 translate $((96 + dx)),$((50 + dy))
               $($6 'rgba(0,0,0,0.30)')" \
        -draw "scale 4,4 translate $((96 + dx)),$((48 + dy)) $($6 "$WHITE")" \
        -filter Lanczos -resize 192x96 \
        -depth 8 -strip -define png:exclude-chunks=date,time "$1.png"
}

# paper plane, centred on the origin; $1 = colour
glyph_send() {
    echo "rotate -12 stroke none fill '$1'
          polygon -32,-22 34,0 -32,22 -20,0"
}

# two chasing arrows around the origin; $1 = colour
# Each arc is a filled ring sector plus a dot for the round tail (stroked
# open arcs do not render reliably here).
glyph_flush() {
    awk -v c="$1" 'BEGIN {
        pi = atan2(0, -1); r = 22; w = 3.5; n = 24
        printf "stroke none fill \047%s\047 ", c
        for (j = 0; j < 2; j++) {
            a0 = (200 + 180 * j) * pi / 180; a1 = (320 + 180 * j) * pi / 180
            printf "polygon"
            for (k = 0; k <= n; k++) {
                a = a0 + (a1 - a0) * k / n
                printf " %.2f,%.2f", (r + w) * cos(a), (r + w) * sin(a)
            }
            for (k = n; k >= 0; k--) {
                a = a0 + (a1 - a0) * k / n
                printf " %.2f,%.2f", (r - w) * cos(a), (r - w) * sin(a)
            }
            printf " circle %.2f,%.2f %.2f,%.2f ",
                r * cos(a0), r * sin(a0), r * cos(a0) + w, r * sin(a0)
            a = a1
            px = r * cos(a); py = r * sin(a)
            tx = -sin(a); ty = cos(a); nx = cos(a); ny = sin(a)
            printf "polygon %.2f,%.2f %.2f,%.2f %.2f,%.2f ",
                px + 11 * tx, py + 11 * ty,
                px + 10 * nx - 2 * tx, py + 10 * ny - 2 * ty,
                px - 10 * nx - 2 * tx, py - 10 * ny - 2 * ty
        }
    }'
}

# check mark; $1 = colour
glyph_right() {
    echo "stroke '$1' stroke-width 9 stroke-linecap round stroke-linejoin round
          fill none polyline -22,0 -7,15 23,-15"
}

face send       '#62a8f0' '#2e70c6' '#1f4f8f' 0 glyph_send
face send_down  '#2a63ad' '#3b7fd0' '#1a4277' 1 glyph_send
face flush      '#62a8f0' '#2e70c6' '#1f4f8f' 0 glyph_flush
face flush_down '#2a63ad' '#3b7fd0' '#1a4277' 1 glyph_flush
face right      '#52c47f' '#23924e' '#18683a' 0 glyph_right
face right_down '#1f8446' '#2fa35c' '#145731' 1 glyph_right
