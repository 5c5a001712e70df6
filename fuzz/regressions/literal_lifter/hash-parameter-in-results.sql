SELECT #Ps_Folio, 'x' AS k, 2 FROM Poliza_Servicio WHERE Ps_Folio > 'MTY-000001'/*ND 1 = Ÿ1 ORDER BY 1 D
