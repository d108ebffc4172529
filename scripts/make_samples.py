#!/usr/bin/python3
"""Makes the drawings in samples/: small floor plans with a title block, room
tags, furniture, notes and layers, one for each DXF version the program reads.

Every run writes the same bytes (fixed dates and GUIDs), so the files can be
committed and remade. Run it with Debian's python3 (python3-ezdxf):

    /usr/bin/python3 scripts/make_samples.py [OUTPUT_FOLDER]
"""

from __future__ import annotations

import io
import math
import pathlib
import sys
from dataclasses import dataclass, field

import ezdxf
from ezdxf.entities import MText

ezdxf.options.write_fixed_meta_data_for_testing = True

R12 = "R12"


@dataclass
class Room:
    number: str
    name: str
    width: float  # mm along the corridor
    desks: int = 0


@dataclass
class Project:
    file: str
    version: str
    firm: str
    title: str
    drawing_number: str
    sheet: str
    date: str
    drawn_by: str
    revision: str
    north: list[Room]
    south: list[Room]
    notes: list[str]  # general notes, one paragraph each
    furniture_layer: str = "A-FURN"
    notes_layer: str = "A-ANNO-NOTE"
    extra_texts: list[tuple[str, str]] = field(default_factory=list)  # (layer, text)
    xref: str | None = None  # path of an external site plan
    true_colors: bool = False
    multiline_title: bool = False
    second_sheet: bool = False
    binary: bool = False


DEPTH = 5000.0  # room depth, mm
CORRIDOR = 2000.0
WALL = 300.0


def layers_for(doc, project: Project) -> None:
    table = [
        ("A-WALL", 7),
        ("A-DOOR", 3),
        (project.furniture_layer, 30),
        ("A-AREA-IDEN", 4),
        ("A-ANNO-TEXT", 2),
        (project.notes_layer, 6),
        ("A-GRID", 8),
        ("A-DEMO", 1),
        ("G-TTLB", 7),
        ("G-VPRT", 9),
    ]
    for name, color in table:
        doc.layers.add(name, color=color)
    doc.layers.get("A-GRID").off()  # the structural grid is hidden
    doc.layers.get("A-DEMO").freeze()  # demolition shown on another sheet
    doc.layers.get("G-VPRT").dxf.plot = 0
    if project.true_colors:
        doc.layers.get(project.furniture_layer).rgb = (176, 112, 48)


def define_blocks(doc, project: Project) -> None:
    r12 = doc.dxfversion == "AC1009"

    # A door leaf with its swing, 900 mm opening, hinge at the origin.
    door = doc.blocks.new("DOOR_900")
    door.add_line((0, 0), (0, 900), dxfattribs={"layer": "0"})
    door.add_arc((0, 0), 900, 0, 90, dxfattribs={"layer": "0"})

    # Room tag: number, name and floor area.
    tag = doc.blocks.new("ROOM_TAG")
    tag.add_circle((0, 0), 450, dxfattribs={"layer": "0"})
    tag.add_line((-450, 0), (450, 0), dxfattribs={"layer": "0"})
    tag.add_attdef("NUMBER", (-300, 80), dxfattribs={"height": 200, "prompt": "Room number"})
    tag.add_attdef("NAME", (600, 80), dxfattribs={"height": 200, "prompt": "Room name"})
    tag.add_attdef("AREA", (-300, -280), dxfattribs={"height": 150, "prompt": "Floor area"})

    # Asset tag of a workstation, nested in the desk block below.
    asset = doc.blocks.new("ASSET_TAG")
    asset.add_line((0, 0), (300, 0), dxfattribs={"layer": "0"})
    asset.add_attdef("ASSET_NO", (0, 50), dxfattribs={"height": 80, "prompt": "Asset number"})
    asset.add_attdef("OWNER", (0, -130), dxfattribs={"height": 80, "prompt": "Department"})

    desk = doc.blocks.new("DESK_UNIT")
    outline = [(0, 0), (1600, 0), (1600, 800), (0, 800)]
    if r12:
        desk.add_polyline2d(outline, close=True, dxfattribs={"layer": "0"})
    else:
        desk.add_lwpolyline(outline, close=True, dxfattribs={"layer": "0"})
    desk.add_circle((800, 1150), 250, dxfattribs={"layer": "0"})
    tag_ref = desk.add_blockref("ASSET_TAG", (100, 100), dxfattribs={"layer": "0"})
    add_attribs(tag_ref, {"ASSET_NO": "WS-0000", "OWNER": "Facilities"})

    # The sheet: an A3 frame with the title block in its lower right corner.
    tb = doc.blocks.new("TITLE_BLOCK_A3")
    frame = [(10, 10), (410, 10), (410, 287), (10, 287)]
    box = [(230, 10), (410, 10), (410, 70), (230, 70)]
    if r12:
        tb.add_polyline2d(frame, close=True, dxfattribs={"layer": "0"})
        tb.add_polyline2d(box, close=True, dxfattribs={"layer": "0"})
    else:
        tb.add_lwpolyline(frame, close=True, dxfattribs={"layer": "0", "const_width": 0.5})
        tb.add_lwpolyline(box, close=True, dxfattribs={"layer": "0"})
    for y in (25, 40, 55):
        tb.add_line((230, y), (410, y), dxfattribs={"layer": "0"})
    tb.add_line((320, 10), (320, 40), dxfattribs={"layer": "0"})
    tb.add_line((380, 10), (380, 40), dxfattribs={"layer": "0"})
    labels = [
        ("FIRM", 232, 66), ("TITLE", 232, 51), ("DRAWING NO.", 232, 36),
        ("DATE", 322, 36), ("REV", 382, 36), ("DRAWN BY", 232, 21),
        ("SHEET", 322, 21),
    ]
    for text, x, y in labels:
        tb.add_text(text, dxfattribs={"height": 1.8, "layer": "0", "insert": (x, y)})
    tb.add_attdef("FIRM", (232, 58), dxfattribs={"height": 3.5, "flags": 2, "prompt": "Firm"}).dxf.text = project.firm
    tb.add_attdef("TITLE", (232, 43), dxfattribs={"height": 3.5, "prompt": "Drawing title"})
    tb.add_attdef("DWG_NO", (232, 28), dxfattribs={"height": 3.5, "prompt": "Drawing number"})
    tb.add_attdef("DATE", (322, 28), dxfattribs={"height": 2.5, "prompt": "Date"})
    tb.add_attdef("REV", (382, 28), dxfattribs={"height": 3.5, "prompt": "Revision"})
    tb.add_attdef("DRAWN_BY", (232, 13), dxfattribs={"height": 2.5, "prompt": "Drawn by"})
    tb.add_attdef("SHEET", (322, 13), dxfattribs={"height": 2.5, "prompt": "Sheet"})

    if project.xref:
        doc.add_xref_def(project.xref, "SITE_SURVEY")


def add_attribs(insert, values: dict[str, str]):
    """Attaches an ATTRIB for every variable ATTDEF of the block, placed where
    the ATTDEF stands (the inserts here are neither scaled nor rotated)."""
    block = insert.block()
    base = insert.dxf.insert
    angle = math.radians(insert.dxf.rotation)
    for attdef in block.attdefs():
        if attdef.is_const:
            continue
        p = attdef.dxf.insert
        x = base.x + p.x * math.cos(angle) - p.y * math.sin(angle)
        y = base.y + p.x * math.sin(angle) + p.y * math.cos(angle)
        insert.add_attrib(
            attdef.dxf.tag,
            values.get(attdef.dxf.tag, ""),
            (x, y),
            dxfattribs={"height": attdef.dxf.height, "layer": insert.dxf.layer, "rotation": insert.dxf.rotation},
        )
    return insert


def draw_plan(doc, msp, project: Project) -> None:
    r12 = doc.dxfversion == "AC1009"
    length = max(sum(r.width for r in project.north), sum(r.width for r in project.south))
    depth = 2 * DEPTH + CORRIDOR

    def closed(points, layer):
        if r12:
            msp.add_polyline2d(points, close=True, dxfattribs={"layer": layer})
        else:
            msp.add_lwpolyline(points, close=True, dxfattribs={"layer": layer})

    closed([(-WALL, -WALL), (length + WALL, -WALL), (length + WALL, depth + WALL), (-WALL, depth + WALL)], "A-WALL")
    closed([(0, 0), (length, 0), (length, depth), (0, depth)], "A-WALL")
    msp.add_line((0, DEPTH), (length, DEPTH), dxfattribs={"layer": "A-WALL"})
    msp.add_line((0, DEPTH + CORRIDOR), (length, DEPTH + CORRIDOR), dxfattribs={"layer": "A-WALL"})

    def row(rooms, y0, y_wall, facing):
        x = 0.0
        for room in rooms:
            if x > 0:
                msp.add_line((x, y0), (x, y0 + DEPTH), dxfattribs={"layer": "A-WALL"})
            # Door into the corridor, hinged 300 mm from the room's left wall.
            rotation = 0 if facing > 0 else 270
            msp.add_blockref("DOOR_900", (x + 300, y_wall), dxfattribs={"layer": "A-DOOR", "rotation": rotation})
            cx, cy = x + room.width / 2, y0 + DEPTH / 2
            area = room.width * DEPTH / 1e6
            tag = msp.add_blockref("ROOM_TAG", (cx - 1000, cy), dxfattribs={"layer": "A-AREA-IDEN"})
            add_attribs(tag, {"NUMBER": room.number, "NAME": room.name, "AREA": f"{area:.1f} m²"})
            for k in range(room.desks):
                desk = msp.add_blockref(
                    "DESK_UNIT",
                    (x + 600 + k * 1900, y0 + 600 if facing > 0 else y0 + DEPTH - 2000),
                    dxfattribs={"layer": project.furniture_layer},
                )
                del desk
            x += room.width

    row(project.south, 0.0, DEPTH, 1)
    row(project.north, DEPTH + CORRIDOR, DEPTH + CORRIDOR, -1)

    # Open-plan desks as one array insert (3 columns, 2 rows).
    array = msp.add_blockref(
        "DESK_UNIT", (length + 3000, 1000), dxfattribs={"layer": project.furniture_layer}
    )
    array.grid(size=(2, 3), spacing=(2400, 1900))

    # Corridor label, scale and north mark.
    text = msp.add_text("CORRIDOR", dxfattribs={"layer": "A-ANNO-TEXT", "height": 250})
    text.set_placement((length / 2, DEPTH + CORRIDOR / 2), align=ezdxf.enums.TextEntityAlignment.MIDDLE_CENTER)
    msp.add_text("SCALE 1:100", dxfattribs={"layer": "A-ANNO-TEXT", "height": 250, "insert": (0, -1500)})
    msp.add_text("N", dxfattribs={"layer": "A-ANNO-TEXT", "height": 500, "insert": (length + 1000, depth + 800), "color": 1})
    for k, (layer, value) in enumerate(project.extra_texts):
        msp.add_text(value, dxfattribs={"layer": layer, "height": 200, "insert": (0, -2200 - 400 * k)})

    # The structural grid (its layer is off) and a wall to be removed (frozen).
    for k in range(int(length // 6000) + 1):
        gx = k * 6000.0
        msp.add_line((gx, -2000), (gx, depth + 2000), dxfattribs={"layer": "A-GRID"})
        msp.add_text(str(k + 1), dxfattribs={"layer": "A-GRID", "height": 300, "insert": (gx - 100, depth + 2200)})
    msp.add_line((length / 3, DEPTH), (length / 3, DEPTH + CORRIDOR), dxfattribs={"layer": "A-DEMO"})
    msp.add_text("EXISTING PARTITION TO BE REMOVED", dxfattribs={"layer": "A-DEMO", "height": 200,
                                                                   "insert": (length / 3 + 200, DEPTH + 200)})

    if project.xref:
        msp.add_blockref("SITE_SURVEY", (0, 0), dxfattribs={"layer": "0"})

    # General notes below the plan.
    if r12:
        for k, note in enumerate(project.notes):
            msp.add_text(note, dxfattribs={"layer": project.notes_layer, "height": 180,
                                          "insert": (length / 2, -1500 - 350 * k)})
    else:
        mtext = msp.add_mtext("\\P".join(project.notes), dxfattribs={"layer": project.notes_layer, "char_height": 180})
        mtext.dxf.insert = (length / 2, -1000)
        mtext.dxf.width = 9000
        if project.true_colors:
            mtext.rgb = (0, 96, 160)


def title_sheet(doc, layout, project: Project, values: dict[str, str], notes: str | None,
                view: tuple[float, float, float] | None) -> None:
    """Fills a paper layout: the title block, a viewport onto the plan when
    `view` (centre x, centre y, height in drawing units) is given, and notes
    (in the lower left corner beside a viewport, else at the top)."""
    layout.page_setup(size=(420, 297), margins=(0, 0, 0, 0), units="mm")
    r12 = doc.dxfversion == "AC1009"
    if view and not r12:
        layout.add_viewport(center=(210, 178), size=(390, 205), view_center_point=view[:2],
                            view_height=view[2], dxfattribs={"layer": "G-VPRT"})
    insert = layout.add_blockref("TITLE_BLOCK_A3", (0, 0), dxfattribs={"layer": "G-TTLB"})
    add_attribs(insert, values)
    if project.multiline_title and "\n" in values["TITLE"]:
        title = next(a for a in insert.attribs if a.dxf.tag == "TITLE")
        lines = MText.new(dxfattribs={"insert": title.dxf.insert, "char_height": 3.5, "width": 85, "layer": "G-TTLB"})
        lines_text = values["TITLE"].replace("\n", "\\P")
        lines.text = lines_text
        title.embed_mtext(lines)
        # CAD programs keep the whole text, lines joined by \P, in the
        # attribute's own value too; ezdxf keeps only the first line there.
        title.dxf.text = lines_text
    if notes is not None:
        at = (20, 66) if view else (20, 280)
        if r12:
            layout.add_text(notes, dxfattribs={"height": 2.5, "insert": at, "layer": project.notes_layer})
        else:
            mt = layout.add_mtext(notes, dxfattribs={"layer": project.notes_layer, "char_height": 2.5})
            mt.dxf.insert = at
            mt.dxf.width = 200 if view else 380


def make(project: Project, folder: pathlib.Path) -> pathlib.Path:
    doc = ezdxf.new(project.version)
    layers_for(doc, project)
    define_blocks(doc, project)
    msp = doc.modelspace()
    draw_plan(doc, msp, project)
    # The viewport shows the plan with the desks beside it and the notes below.
    length = max(sum(r.width for r in project.north), sum(r.width for r in project.south))
    view = ((length + 10000) / 2, (2 * DEPTH + CORRIDOR - 1000) / 2, 2 * DEPTH + CORRIDOR + 7000)

    values = {
        "TITLE": project.title,
        "DWG_NO": project.drawing_number,
        "SHEET": project.sheet,
        "DATE": project.date,
        "DRAWN_BY": project.drawn_by,
        "REV": project.revision,
    }
    if project.version == R12:
        paper = doc.layout()  # the single paper space of a release 12 drawing
        title_sheet(doc, paper, project, values, None, view)
    else:
        doc.layouts.rename("Layout1", f"{project.drawing_number} Plan")
        paper = doc.layout(f"{project.drawing_number} Plan")
        keynote = (
            "{\\fArial|b1|i0|c0|p34;KEY NOTES}\\P"
            "1. {\\H1.2x;\\C1;Verify} all dimensions on site.\\P"
            "2. \\LFire doors\\l to close \\S1/2; hour rated.\\P"
            "3. Floor finish tolerance \\S+2^-1; mm."
        )
        title_sheet(doc, paper, project, values, keynote, view)
        if project.second_sheet:
            second_no = project.drawing_number[:-1] + chr(ord(project.drawing_number[-1]) + 1)
            second = doc.layouts.new(f"{second_no} Notes")
            sheet_values = dict(values, DWG_NO=second_no, SHEET="2 of 2", TITLE="General notes and legend")
            title_sheet(doc, second, project, sheet_values, "\\P".join(project.notes), None)

    folder.mkdir(parents=True, exist_ok=True)
    path = folder / project.file
    if project.binary:
        stream = io.BytesIO()
        doc.write(stream, fmt="bin")
        data = stream.getvalue()
    else:
        # Windows line ends, as the CAD programs of the users write them.
        stream = io.StringIO()
        doc.write(stream)
        data = doc.encode(stream.getvalue().replace("\n", "\r\n"))
    path.write_bytes(data)
    return path


PROJECTS = [
    Project(
        file="workshop-plan-R12.dxf",
        version="R12",
        firm="Brandt & Co. Ingenieure",
        title="Werkstatt Süd - Grundriss EG",
        drawing_number="W-101",
        sheet="1 of 1",
        date="1994-03-17",
        drawn_by="J. Müller",
        revision="C",
        south=[Room("001", "Werkstatt", 9000), Room("002", "Büro Meister", 4000, 1), Room("003", "Lager", 5000)],
        north=[Room("004", "Umkleide", 4000), Room("005", "Duschen/WC", 4000), Room("006", "Pausenraum", 6000)],
        notes=[
            "ALLE MASSE IN MM.",
            "WANDSTÄRKE AUSSEN 300 MM.",
            "Ø 100 ABLAUF & <RINNE> \"SIEHE DETAIL\"",
        ],
        furniture_layer="A-MÖBEL",
        extra_texts=[("A-ANNO-TEXT", "  SIEHE DETAIL 3/W-501"), ("A-ANNO-TEXT", "OK FFB = ±0.00 (Ω ref.)")],
    ),
    Project(
        file="office-floor-plan-2000.dxf",
        version="R2000",
        firm="Atelier Dufresne & Fils",
        title="Bureaux \"Les Tilleuls\" - Plan du rez-de-chaussée",
        drawing_number="A-101",
        sheet="1 of 2",
        date="2003-11-04",
        drawn_by="É. Lefèvre",
        revision="B=issued for tender",
        south=[Room("101", "Accueil", 6000), Room("102", "Bureau Directeur", 5000, 1),
               Room("103", "Salle de réunion", 7000)],
        north=[Room("104", "Open space", 10000, 4), Room("105", "Café", 4000), Room("106", "Archives", 4000)],
        notes=[
            "Toutes les cotes en mm.",
            "Budget mobilier : 12 500 € HT — voir devis n° 2003/118.",
            "Escalier de secours 楼梯 selon plan A-301.",
            "Coefficient Ω = 0.85 pour les cloisons vitrées.",
        ],
        notes_layer="A-ANNO-REMARQUES",
        extra_texts=[("A-ANNO-TEXT", "Porte EI30 <ferme-porte> & \"poussez\" = sortie")],
        second_sheet=True,
    ),
    Project(
        file="clinic-floor-plan-2004.dxf",
        version="R2004",
        firm="Nordic Health Architects",
        title="Vårdcentral Ängby - Plan 1",
        drawing_number="A-201",
        sheet="1 of 1",
        date="2006-05-22",
        drawn_by="K. Åström",
        revision="A",
        south=[Room("1.01", "Väntrum", 6000), Room("1.02", "Mottagning 1", 4000, 1),
               Room("1.03", "Mottagning 2", 4000, 1), Room("1.04", "Förråd", 3000)],
        north=[Room("1.05", "Personalrum", 6000), Room("1.06", "Läkemedel", 4000), Room("1.07", "WC/RWC", 4000)],
        notes=[
            "Alla mått i mm.",
            "Brandcell EI 60 kring läkemedelsrum.",
            "Tillgänglighet enligt BBR 3:1 — ramp 1:12.",
        ],
        xref="../survey/site-survey.dwg",
        true_colors=True,
    ),
    Project(
        file="apartment-floor-plan-2007.dxf",
        version="R2007",
        firm="Lambrou Architects",
        title="Πολυκατοικία Κηφισιάς - Κάτοψη 2ου ορόφου",
        drawing_number="A-102",
        sheet="2 of 6",
        date="2008-09-30",
        drawn_by="Γ. Παπαδόπουλος",
        revision="D",
        south=[Room("2.1", "Σαλόνι", 7000), Room("2.2", "Κουζίνα", 4000), Room("2.3", "Υπνοδωμάτιο", 5000)],
        north=[Room("2.4", "Λουτρό", 3000), Room("2.5", "Γραφείο", 4000, 1), Room("2.6", "Αποθήκη", 3000)],
        notes=[
            "Όλες οι διαστάσεις σε mm.",
            "Θερμομόνωση 50 mm <XPS> & φράγμα υδρατμών.",
            "Finish levels: FFL = +6.40 m.",
        ],
        true_colors=True,
    ),
    Project(
        file="school-floor-plan-2010.dxf",
        version="R2010",
        firm="上海同创建筑设计",
        title="第一中学 教学楼 一层平面图",
        drawing_number="JS-01",
        sheet="1 of 3",
        date="2011-04-12",
        drawn_by="王丽",
        revision="B",
        south=[Room("101", "教室 Classroom", 8000, 2), Room("102", "教师办公室", 5000, 1), Room("103", "储藏室", 3000)],
        north=[Room("104", "实验室 Lab", 8000), Room("105", "卫生间 WC", 4000), Room("106", "楼梯间", 4000)],
        notes=[
            "所有尺寸单位为毫米。",
            "防火门 FM甲 <常闭> & 自闭式。",
            "Floor loading = 3.0 kN/m².",
        ],
        furniture_layer="A-家具",
        extra_texts=[("A-ANNO-TEXT", "建筑面积: 1 240 m²")],
    ),
    Project(
        file="library-floor-plan-2013.dxf",
        version="R2013",
        firm="Harbour & Finch Architects",
        title="Riverside Library - Ground Floor",
        drawing_number="L-100",
        sheet="1 of 4",
        date="2014-02-03",
        drawn_by="S. O'Neill",
        revision="P2",
        south=[Room("G01", "Reading room", 10000, 3), Room("G02", "Children's corner", 6000)],
        north=[Room("G03", "Staff office", 5000, 2), Room("G04", "Returns & sorting", 5000), Room("G05", "Plant", 4000)],
        notes=[
            "All dimensions in millimetres.",
            "Shelving by others <see section 12 30 00> & fixed to slab.",
            "Café counter — Łódź supplier; naïve façade detail.",
        ],
        true_colors=True,
        second_sheet=True,
    ),
    Project(
        file="library-floor-plan-2013-binary.dxf",
        version="R2013",
        firm="Harbour & Finch Architects",
        title="Riverside Library - First Floor",
        drawing_number="L-110",
        sheet="2 of 4",
        date="2014-02-03",
        drawn_by="S. O'Neill",
        revision="P1",
        south=[Room("101", "Study carrels", 10000, 4), Room("102", "Meeting room", 6000)],
        north=[Room("103", "Archive", 8000), Room("104", "Kitchenette", 3000), Room("105", "WC", 3000)],
        notes=["All dimensions in millimetres.", "Raised floor void 150 mm — cable trays by M&E."],
        true_colors=True,
        binary=True,
    ),
    Project(
        file="studio-floor-plan-2018.dxf",
        version="R2018",
        firm="Oficina Ribeiro & Sá",
        title="Estúdio Alfama\nPlanta do piso térreo",
        drawing_number="E-100",
        sheet="1 of 2",
        date="2019-07-15",
        drawn_by="J. Conceição",
        revision="C",
        south=[Room("0.1", "Estúdio", 9000, 3), Room("0.2", "Sala técnica", 4000, 1)],
        north=[Room("0.3", "Copa", 4000), Room("0.4", "Instalações sanitárias", 5000), Room("0.5", "Arrumos", 4000)],
        notes=[
            "{\\fArial|b1|i0|c0|p34;Notas gerais}",
            "1. Todas as cotas em milímetros; não medir no desenho.",
            "2. Isolamento acústico das paredes do estúdio: lã de rocha 2×50 mm, "
            "caixa-de-ar 30 mm e placa de gesso cartonado dupla (\\S1/2; polegada cada).",
            "3. {\\H0.8x;\\C5;Confirmar} cotas em obra antes do fabrico — 確認 / Проверить.",
            "4. \\LPortas acústicas\\l Rw ≥ 45 dB <ver mapa de vãos> & ferragens \"anti-pânico\".",
        ],
        xref="../base/levantamento.dwg",
        true_colors=True,
        multiline_title=True,
        second_sheet=True,
    ),
]


def main() -> int:
    root = pathlib.Path(__file__).resolve().parent.parent
    folder = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else root / "samples"
    for project in PROJECTS:
        path = make(project, folder)
        print(f"{path.name}: {path.stat().st_size} bytes")
    return 0


if __name__ == "__main__":
    sys.exit(main())
